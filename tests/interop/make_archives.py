#!/usr/bin/env python3
"""Makes the source tree and the archives of the interop tests.

    make_archives.py DATA

writes DATA/tree (the same bytes on every run), one archive per writer and
setting into DATA/archives, and DATA/manifest.txt, one line per archive:

    archive <TAB> writer and setting <TAB> password or - <TAB> ok | refused

"ok" archives must extract to a copy of the tree; "refused" ones hold
encrypted entries whose password check the library does not accept.  A
writer that is not installed gets a line "skip <TAB> writer <TAB> reason".

The tree holds subdirectories, empty directories, an empty file, files of
65,520 and 65,521 bytes (the library's chunk size and one more), text and
random, and files of a few megabytes.  Everything gets one fixed time, so
that the archives' dates do not depend on when the tree was made.
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import time
import zipfile

PASSWORD = "secret"
# 2021-03-04 05:06:08 local time (even seconds: MS-DOS times have 2-second steps).
FIXED_TIME = time.mktime((2021, 3, 4, 5, 6, 8, 0, 0, -1))
WORDS = "alpha beta gamma delta epsilon zeta eta theta archive entry volume record deflate stored".split()


def text(rng, size):
    lines, n = [], 0
    while n < size:
        words = " ".join(rng.choice(WORDS) for _ in range(rng.randint(3, 12)))
        lines.append("%06d %s\n" % (len(lines) + 1, words))
        n += len(lines[-1])
    return "".join(lines).encode("ascii")[:size]


def make_tree(root):
    rng = random.Random(20240501)
    files = [("empty.txt", b""), ("chunk-65520.txt", text(rng, 65520)), ("chunk-65521.txt", text(rng, 65521)),
             ("chunk-65520.bin", rng.randbytes(65520)), ("chunk-65521.bin", rng.randbytes(65521)),
             ("name with spaces.txt", b"a name with blanks in it\n"), ("docs/readme.txt", text(rng, 1500)),
             ("docs/manual/chapter-1.txt", text(rng, 40000)), ("docs/manual/chapter-2.txt", text(rng, 70000)),
             ("logs/compressible.log", text(rng, 3 * 1024 * 1024 + 17)),
             ("data/random.bin", rng.randbytes(1024 * 1024 + 3))]
    shutil.rmtree(root, ignore_errors=True)
    for d in ["empty-dir", "docs/empty-sub", "docs/manual", "logs", "data"]:
        os.makedirs(os.path.join(root, d))
    for name, data in files:
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
    for top, subdirs, names in os.walk(root):
        for n in [top] + [os.path.join(top, n) for n in subdirs + names]:
            os.utime(n, (FIXED_TIME, FIXED_TIME))


def write_python(path, data_dir, compression, level):
    """Python's zipfile: entry comments, an extra block of our own on every
    entry, an archive comment."""
    items = []
    for top, subdirs, names in os.walk(os.path.join(data_dir, "tree")):
        subdirs.sort()
        rel = os.path.relpath(top, data_dir).replace(os.sep, "/")
        items += [rel + "/"] + [rel + "/" + n for n in sorted(names)]
    with zipfile.ZipFile(path, "w") as z:
        for i, name in enumerate(items):
            info = zipfile.ZipInfo.from_file(os.path.join(data_dir, name), name)
            info.compress_type = compression
            info.comment = ("entry %d: %s" % (i, name)).encode("ascii")
            payload = b"qzunpack interop %d" % i
            info.extra = struct.pack("<HH", 0x6A71, len(payload)) + payload
            data = b"" if name.endswith("/") else open(os.path.join(data_dir, name), "rb").read()
            z.writestr(info, data, compresslevel=level)
        z.comment = b"Made by Python's zipfile for the interop tests.\n"


def writers():
    """(archive, writer label, password, expectation, tool, command or zipfile settings)."""
    zip_ = lambda lv: ["zip", "-q", "-r", "-%d" % lv]
    sevenzip = ["7z", "a", "-tzip"]
    out = [("zip-%d.zip" % lv, "zip -%d" % lv, "-", "ok", "zip", zip_(lv)) for lv in (0, 1, 6, 9)]
    out.append(("zip-encrypted.zip", "zip -6 -P", PASSWORD, "refused", "zip", zip_(6) + ["-P", PASSWORD]))
    out += [("7z-deflate-%d.zip" % lv, "7z -tzip -mm=Deflate -mx%d" % lv, "-", "ok", "7z",
             sevenzip + ["-mm=Deflate", "-mx%d" % lv]) for lv in (1, 5, 9)]
    out.append(("7z-copy.zip", "7z -tzip -mm=Copy", "-", "ok", "7z", sevenzip + ["-mm=Copy"]))
    out.append(("7z-zipcrypto.zip", "7z -tzip -mem=ZipCrypto", PASSWORD, "ok", "7z",
                sevenzip + ["-mx5", "-p" + PASSWORD, "-mem=ZipCrypto"]))
    out.append(("bsdtar-deflate.zip", "bsdtar --format zip", "-", "ok", "bsdtar",
                ["bsdtar", "--format", "zip", "-cf"]))
    out.append(("bsdtar-store.zip", "bsdtar --format zip compression=store", "-", "ok", "bsdtar",
                ["bsdtar", "--format", "zip", "--options", "zip:compression=store", "-cf"]))
    out.append(("python-stored.zip", "zipfile stored", "-", "ok", "python", (zipfile.ZIP_STORED, None)))
    out += [("python-deflate-%d.zip" % lv, "zipfile deflated level %d" % lv, "-", "ok", "python",
             (zipfile.ZIP_DEFLATED, lv)) for lv in (1, 9)]
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    data_dir = os.path.abspath(sys.argv[1])
    archives = os.path.join(data_dir, "archives")
    make_tree(os.path.join(data_dir, "tree"))
    shutil.rmtree(archives, ignore_errors=True)
    os.makedirs(archives)
    lines = []
    for name, label, password, expect, tool, how in writers():
        path = os.path.join(archives, name)
        if tool == "python":
            write_python(path, data_dir, *how)
        elif shutil.which(tool):
            subprocess.run(how + [path, "tree"], cwd=data_dir, check=True, stdout=subprocess.DEVNULL)
        elif "skip\t%s\t%s is not installed" % (tool, tool) not in lines:
            lines.append("skip\t%s\t%s is not installed" % (tool, tool))
            print("skipped:", tool, "is not installed")
        if os.path.exists(path):
            lines.append("\t".join((name, label, password, expect)))
    with open(os.path.join(data_dir, "manifest.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")
    print("%d archives in %s" % (sum(1 for l in lines if not l.startswith("skip")), archives))


if __name__ == "__main__":
    main()
