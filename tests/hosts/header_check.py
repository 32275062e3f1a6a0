#!/usr/bin/env python3
"""Compiles qzunpack.h with every compiler, language standard and target a
host may use, warnings as errors under -pedantic, and compares the record
layout each one sees (the qz_layout array of layout.c, read from the assembly).

Usage: header_check.py INCLUDE_DIR LAYOUT_C
"""
import re
import subprocess
import sys

WARN = ["-pedantic", "-Wall", "-Wextra", "-Werror"]
MSVC = ["--target=i686-pc-windows-msvc"]
COMPILERS = (
    [["gcc", "-std=" + s] for s in ("c89", "c99", "c11")]
    + [["clang", "-std=" + s] for s in ("c89", "c99", "c11")]
    + [[cxx, "-x", "c++", "-std=" + s] for cxx in ("g++", "clang++")
       for s in ("c++98", "c++11", "c++14", "c++17")]
    + [["i686-w64-mingw32-gcc", "-std=" + s] for s in ("c89", "c99", "c11")]
    + [["i686-w64-mingw32-g++", "-x", "c++", "-std=" + s] for s in ("c++98", "c++17")]
    + [["x86_64-w64-mingw32-gcc", "-std=c89"]]
    + [["clang"] + MSVC + ["-std=" + s] for s in ("c89", "c99", "c11")]
    + [["clang++"] + MSVC + ["-x", "c++", "-std=" + s] for s in ("c++98", "c++17")]
)


def layout(command, include, source):
    out = subprocess.run(command + WARN + ["-I", include, "-S", "-o", "-", source],
                         capture_output=True, text=True)
    if out.returncode != 0 or out.stderr:
        return None, out.stderr.strip() or "exit status %d" % out.returncode
    body = out.stdout[re.search(r"^_?qz_layout:\n", out.stdout, re.M).end():]
    values = []
    for line in body.splitlines():
        m = re.match(r"\s*\.long\s+(\d+)", line)
        if not m:
            break
        values.append(int(m.group(1)))
    return values, None

def main():
    include, source = sys.argv[1:3]
    names = re.findall(r"X\((\w+\([^()]*\))\)", open(source).read())
    reference, failures = None, 0
    for command in COMPILERS:
        label = " ".join(command)
        values, error = layout(command, include, source)
        if error:
            print("FAILED %s:\n%s" % (label, error))
            failures += 1
            continue
        print("%-62s %s" % (label, " ".join(map(str, values))))
        if reference is None:
            reference = values
        elif values != reference:
            diff = [n for n, a, b in zip(names, values, reference) if a != b]
            print("FAILED %s: differs in %s" % (label, ", ".join(diff) or "length"))
            failures += 1
    if reference is None or len(reference) != len(names):
        print("FAILED: %d values read for %d names" % (len(reference or []), len(names)))
        failures += 1
    print("%d passed, %d failed" % (len(COMPILERS) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
