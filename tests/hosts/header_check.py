#!/usr/bin/env python3
"""Compiles qzunpack.h and qzunpack_ext.h (in the folder given) with every compiler, standard and target a host may use,
-pedantic -Werror, and compares the record sizes and offsets each one writes in its assembly."""
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
    "QzEntry64": "uncompressedSize localHeaderOffset diskNumberStart reserved",
}
NAMES = [e for record, fields in FIELDS.items() for e in
         ["sizeof(%s)" % record] + ["offsetof(%s, %s)" % (record, f) for f in fields.split()]]
NAMES += ["sizeof(QzHandle)", "sizeof(QzResult)", "sizeof(enum QzResultCode)"]
SOURCE = '#include "qzunpack_ext.h"\nunsigned int qz_layout[] = { %s };\n' \
         % ", ".join("(unsigned int)" + n for n in NAMES)

C, CXX, MSVC = ("c89", "c99", "c11"), ("c++98", "c++11", "c++14", "c++17"), "--target=i686-pc-windows-msvc"
COMPILERS = [[cc] + flags + ["-x", lang, "-std=" + std] for cc, flags, lang, stds in (
    ("gcc", [], "c", C), ("clang", [], "c", C), ("g++", [], "c++", CXX), ("clang++", [], "c++", CXX),
    ("i686-w64-mingw32-gcc", [], "c", C), ("i686-w64-mingw32-g++", [], "c++", ("c++98", "c++17")),
    ("x86_64-w64-mingw32-gcc", [], "c", ("c89",)),
    ("clang", [MSVC], "c", C), ("clang++", [MSVC], "c++", ("c++98", "c++17"))) for std in stds]

reference, failures = None, 0
for command in COMPILERS:
    out = subprocess.run(command + ["-pedantic", "-Wall", "-Wextra", "-Werror", "-I", sys.argv[1],
                                    "-S", "-o", "-", "-"], input=SOURCE, capture_output=True, text=True)
    block = re.search(r"^\S*qz_layout\S*:\n((?:\s*\.long\s+\d+.*\n)*)", out.stdout, re.M)
    values = [int(n) for n in re.findall(r"\.long\s+(\d+)", block.group(1))] if block else []
    reference = reference or values
    print("%-62s %s" % (" ".join(command), " ".join(map(str, values))))
    if out.returncode != 0 or out.stderr or values != reference or len(values) != len(NAMES):
        diff = [n for n, a, b in zip(NAMES, values, reference) if a != b]
        print("FAILED: %s" % (out.stderr.strip() or "differs in " + (", ".join(diff) or "the count")))
        failures += 1
sys.exit("%d of %d failed" % (failures, len(COMPILERS)) if failures else 0)
