#!/usr/bin/env python3
"""Compiles qzunpack.h with every compiler, language standard and target a host
may use, warnings as errors under -pedantic, and compares the record layout each
one sees: the sizes and offsets below, read back from the assembly it writes.

Usage: header_check.py INCLUDE_DIR
"""
import re
import subprocess
import sys

FIELDS = {
    "QzPrintBlock": "fileName operation entrySize bytesDone entrySize2 method reserved1 reserved2"
                    " eventKind eventCode diskNumber",
    "QzExtPrintInfo": "dosTime reserved1 reserved2",
    "QzEntryRecord": "versionMadeBy flags method dosTime crc32 compressedSize nameLength"
                     " externalAttributes localHeaderOffset",
    "QzEntryRecordVB32": "crc32 localHeaderOffset versionMadeBy nameLength internalAttributes",
}
NAMES = [e for record, fields in FIELDS.items() for e in
         ["sizeof(%s)" % record] + ["offsetof(%s, %s)" % (record, f) for f in fields.split()]]
NAMES += ["sizeof(QzHandle)", "sizeof(QzResult)", "sizeof(enum QzResultCode)"]
SOURCE = '#include "qzunpack.h"\n#ifdef __cplusplus\nextern "C" {\n#endif\n' \
         'unsigned int qz_layout[] = { %s };\n#ifdef __cplusplus\n}\n#endif\n' \
         % ", ".join("(unsigned int)" + n for n in NAMES)

C, CXX, MSVC = ("c89", "c99", "c11"), ("c++98", "c++11", "c++14", "c++17"), "--target=i686-pc-windows-msvc"
COMPILERS = [[cc] + flags + ["-x", lang, "-std=" + std] for cc, flags, lang, stds in (
    ("gcc", [], "c", C), ("clang", [], "c", C), ("g++", [], "c++", CXX), ("clang++", [], "c++", CXX),
    ("i686-w64-mingw32-gcc", [], "c", C), ("i686-w64-mingw32-g++", [], "c++", ("c++98", "c++17")),
    ("x86_64-w64-mingw32-gcc", [], "c", ("c89",)),
    ("clang", [MSVC], "c", C), ("clang++", [MSVC], "c++", ("c++98", "c++17"))) for std in stds]


def layout(command, include):
    out = subprocess.run(command + ["-pedantic", "-Wall", "-Wextra", "-Werror", "-I", include,
                                    "-S", "-o", "-", "-"], input=SOURCE, capture_output=True, text=True)
    if out.returncode != 0 or out.stderr:
        return None, out.stderr.strip() or "exit status %d" % out.returncode
    block = re.search(r"^_?qz_layout:\n((?:\s*\.long\s+\d+.*\n)*)", out.stdout, re.M)
    return [int(n) for n in re.findall(r"\.long\s+(\d+)", block.group(1))], None


def main():
    reference, failures = None, 0
    for command in COMPILERS:
        label = " ".join(command)
        values, error = layout(command, sys.argv[1])
        if error:
            print("FAILED %s:\n%s" % (label, error))
            failures += 1
            continue
        print("%-62s %s" % (label, " ".join(map(str, values))))
        reference = reference or values
        if values != reference or len(values) != len(NAMES):
            diff = [n for n, a, b in zip(NAMES, values, reference) if a != b]
            print("FAILED %s: differs in %s" % (label, ", ".join(diff) or "the count of values"))
            failures += 1
    print("%d passed, %d failed" % (len(COMPILERS) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
