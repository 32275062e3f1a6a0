#!/usr/bin/env python3
"""Makes the source tree and the archives of the interop tests.

    make_archives.py DATA

writes DATA/tree (the same bytes on every run), one archive per writer and
setting into DATA/archives, and DATA/manifest.txt, one line per archive:

    archive <TAB> writer and setting <TAB> password or - <TAB> ok | refused

"ok" archives must extract to a copy of the tree; "refused" ones hold
encrypted entries whose password check the library does not accept.  A
writer that is not installed gets a line "skip <TAB> writer <TAB> reason",
so that the tests can say what they left out.

The tree holds subdirectories, empty directories, an empty file, files of
65,520 and 65,521 bytes (the library's chunk size and one more) both
compressible and random, a compressible file of a few megabytes and a random
one.  Every file and directory gets the same fixed modification time, so
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


def text(rng, size):
    words = ["alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta",
             "archive", "entry", "volume", "record", "deflate", "stored"]
    out = []
    n = 0
    line = 0
    while n < size:
        line += 1
        s = "%06d %s\n" % (line, " ".join(rng.choice(words) for _ in range(rng.randint(3, 12))))
        out.append(s)
        n += len(s)
    return "".join(out).encode("ascii")[:size]


def make_tree(root):
    rng = random.Random(20240501)
    files = {
        "empty.txt": b"",
        "chunk-65520.txt": text(rng, 65520),
        "chunk-65521.txt": text(rng, 65521),
        "chunk-65520.bin": rng.randbytes(65520),
        "chunk-65521.bin": rng.randbytes(65521),
        "name with spaces.txt": b"a name with blanks in it\n",
        "docs/readme.txt": text(rng, 1500),
        "docs/manual/chapter-1.txt": text(rng, 40000),
        "docs/manual/chapter-2.txt": text(rng, 70000),
        "logs/compressible.log": text(rng, 3 * 1024 * 1024 + 17),
        "data/random.bin": rng.randbytes(1024 * 1024 + 3),
    }
    dirs = ["empty-dir", "docs/empty-sub", "docs/manual", "logs", "data"]
    if os.path.exists(root):
        shutil.rmtree(root)
    for d in dirs:
        os.makedirs(os.path.join(root, d), exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
    for top, subdirs, names in os.walk(root):
        for n in subdirs + names:
            os.utime(os.path.join(top, n), (FIXED_TIME, FIXED_TIME))
    os.utime(root, (FIXED_TIME, FIXED_TIME))


def tree_items(data_dir):
    """Directories (with a trailing '/') and files of the tree, as archive names."""
    items = []
    for top, subdirs, names in os.walk(os.path.join(data_dir, "tree")):
        subdirs.sort()
        rel = os.path.relpath(top, data_dir).replace(os.sep, "/")
        items.append(rel + "/")
        for n in sorted(names):
            items.append(rel + "/" + n)
    return items


def run(cmd, cwd):
    subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.DEVNULL)


def extra_block(block_id, payload):
    return struct.pack("<HH", block_id, len(payload)) + payload


def write_python(path, data_dir, compression, level):
    """Python's zipfile: entry comments, an extra block of our own on every
    entry, an archive comment."""
    with zipfile.ZipFile(path, "w") as z:
        for i, name in enumerate(tree_items(data_dir)):
            info = zipfile.ZipInfo.from_file(os.path.join(data_dir, name), name)
            info.compress_type = compression
            info.comment = ("entry %d: %s" % (i, name)).encode("ascii")
            info.extra = extra_block(0x6A71, b"qzunpack interop %d" % i)
            if name.endswith("/"):
                z.writestr(info, b"")
            else:
                with open(os.path.join(data_dir, name), "rb") as f:
                    z.writestr(info, f.read(), compresslevel=level)
        z.comment = b"Made by Python's zipfile for the interop tests.\n"


def writers(data_dir):
    """(archive, writer label, password, expectation, how) for every setting."""
    zip_level = lambda lv: ["zip", "-q", "-r", "-%d" % lv]
    out = []
    for lv in (0, 1, 6, 9):
        out.append(("zip-%d.zip" % lv, "zip -%d" % lv, "-", "ok", ("zip", zip_level(lv))))
    out.append(("zip-encrypted.zip", "zip -6 -P", PASSWORD, "refused",
                ("zip", zip_level(6) + ["-P", PASSWORD])))
    for lv in (1, 5, 9):
        out.append(("7z-deflate-%d.zip" % lv, "7z -tzip -mm=Deflate -mx%d" % lv, "-", "ok",
                    ("7z", ["7z", "a", "-tzip", "-mm=Deflate", "-mx%d" % lv])))
    out.append(("7z-copy.zip", "7z -tzip -mm=Copy", "-", "ok", ("7z", ["7z", "a", "-tzip", "-mm=Copy"])))
    out.append(("7z-zipcrypto.zip", "7z -tzip -mem=ZipCrypto", PASSWORD, "ok",
                ("7z", ["7z", "a", "-tzip", "-mx5", "-p" + PASSWORD, "-mem=ZipCrypto"])))
    out.append(("bsdtar-deflate.zip", "bsdtar --format zip", "-", "ok",
                ("bsdtar", ["bsdtar", "--format", "zip", "-cf"])))
    out.append(("bsdtar-store.zip", "bsdtar --format zip compression=store", "-", "ok",
                ("bsdtar", ["bsdtar", "--format", "zip", "--options", "zip:compression=store", "-cf"])))
    out.append(("python-stored.zip", "zipfile stored", "-", "ok",
                ("python", (zipfile.ZIP_STORED, None))))
    for lv in (1, 9):
        out.append(("python-deflate-%d.zip" % lv, "zipfile deflated level %d" % lv, "-", "ok",
                    ("python", (zipfile.ZIP_DEFLATED, lv))))
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    data_dir = os.path.abspath(sys.argv[1])
    archives = os.path.join(data_dir, "archives")
    os.makedirs(data_dir, exist_ok=True)
    make_tree(os.path.join(data_dir, "tree"))
    if os.path.exists(archives):
        shutil.rmtree(archives)
    os.makedirs(archives)

    lines = []
    skipped = set()
    for name, label, password, expect, (tool, how) in writers(data_dir):
        path = os.path.join(archives, name)
        if tool != "python" and shutil.which(tool) is None:
            if tool not in skipped:
                lines.append("skip\t%s\t%s is not installed" % (tool, tool))
                skipped.add(tool)
            continue
        if tool == "python":
            write_python(path, data_dir, *how)
        else:
            run(how + [path, "tree"], data_dir)
        lines.append("\t".join((name, label, password, expect)))
    with open(os.path.join(data_dir, "manifest.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")
    print("%d archives in %s" % (sum(1 for l in lines if not l.startswith("skip")), archives))
    for l in lines:
        if l.startswith("skip"):
            print("skipped:", l.split("\t")[2])


if __name__ == "__main__":
    main()
