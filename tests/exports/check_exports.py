#!/usr/bin/env python3
"""Checks the 32-bit DLL's export table against the table in qzunpack.h.

Every export the DLL carries must appear in the header's QZ_EXPORT_TABLE with
the same ordinal, the module definition must list exactly what the DLL
exports, and the stdcall symbol behind each export must remove the number of
argument bytes the table gives.  With --complete all 39 must be there.  The
DLL may import nothing but the system's own libraries.
"""
import argparse
import re
import subprocess
import sys


def header_table(path, macro):
    text = open(path, encoding="latin-1").read()
    block = text[text.index("#define " + macro + "("):]
    block = block[:block.index("\n\n")]
    rows = re.findall(r"X\(\s*(\d+)\s*,\s*(\w+)\s*,\s*(\d+)\s*\)", block)
    return {name: (int(ordinal), int(size)) for ordinal, name, size in rows}


def def_table(path):
    rows = re.findall(r"^\s*(\w+)\s*=\s*\1@(\d+)\s+@(\d+)", open(path, encoding="latin-1").read(), re.M)
    return {name: (int(ordinal), int(size)) for name, size, ordinal in rows}


def dll_exports(objdump, dll):
    out = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    base = int(re.search(r"Ordinal Base (\d+)", out).group(1))
    table = out[out.index("[Ordinal/Name Pointer] Table"):]
    exports = {}
    for line in table.splitlines()[1:]:
        m = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)\s*$", line)
        if not m:
            break
        exports[m.group(2)] = int(m.group(1)) + base
    return exports


# What the DLL may import: the system's own libraries.  Anything else (a
# compiler runtime such as libwinpthread-1.dll) would have to ship with it.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "version.dll", "msvcrt.dll"}


def stdcall_symbols(nm, library):
    out = subprocess.run([nm, "-g", "--defined-only", library], check=True,
                         capture_output=True, text=True).stdout
    symbols = {}
    for m in re.finditer(r"\s[Tt]\s+_(Qz\w+)@(\d+)$", out, re.M):
        symbols.setdefault(m.group(1), set()).add(int(m.group(2)))
    return symbols


def main():
    ap = argparse.ArgumentParser()
    for opt in ("header", "ext-header", "def", "dll", "objects", "objdump", "nm"):
        ap.add_argument("--" + opt, required=True)
    ap.add_argument("--complete", action="store_true")
    args = ap.parse_args()

    table = header_table(args.header, "QZ_EXPORT_TABLE")
    extensions = header_table(args.ext_header, "QZ_EXT_EXPORT_TABLE")
    listed = def_table(getattr(args, "def"))
    exported = dll_exports(args.objdump, args.dll)
    symbols = stdcall_symbols(args.nm, args.objects)
    problems = []

    if len(table) != 39 or sorted(o for o, _ in table.values()) != list(range(1, 40)):
        problems.append("the header's export table does not hold ordinals 1 to 39")
    if not extensions or min(o for o, _ in extensions.values()) < 100:
        problems.append("the extension exports do not have ordinals from 100")
    table.update(extensions)
    for name, (ordinal, size) in listed.items():
        if name not in table:
            problems.append(f"{name}: in the module definition but not in the header's table")
        elif table[name] != (ordinal, size):
            problems.append(f"{name}: module definition says ordinal {ordinal}, {size} bytes; "
                            f"the table says ordinal {table[name][0]}, {table[name][1]} bytes")
    for name, ordinal in exported.items():
        if name not in table:
            problems.append(f"{name}: exported by the DLL but not in the table")
        elif name not in listed:
            problems.append(f"{name}: exported by the DLL but not in the module definition")
        elif table[name][0] != ordinal:
            problems.append(f"{name}: exported with ordinal {ordinal}, the table says {table[name][0]}")
    for name in listed:
        if name not in exported:
            problems.append(f"{name}: in the module definition but not exported by the DLL")
    for name in exported:
        if name in table and symbols.get(name) != {table[name][1]}:
            problems.append(f"{name}: the stdcall symbol removes {sorted(symbols.get(name, []))} "
                            f"argument bytes, the table says {table[name][1]}")
    imports = subprocess.run([args.objdump, "-p", args.dll], check=True, capture_output=True, text=True).stdout
    for name in sorted(set(re.findall(r"DLL Name: (\S+)", imports))):
        if name.lower() not in SYSTEM_DLLS:
            problems.append(f"the DLL imports {name}, which is not part of Windows")
    if args.complete and set(exported) != set(table):
        problems.append(f"missing exports: {sorted(set(table) - set(exported))}")

    for p in problems:
        print("export check:", p)
    print(f"export check: {len(exported)} exports compared with the table of {len(table)}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
