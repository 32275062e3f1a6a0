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
import binascii
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


# The second set reads archives as today's writers make them: names in UTF-8,
# code page 437 and the Unicode Path field, passwords, links and modes, odd
# entries.  Each archive goes with the tree it must give, DATA/ext-expected/
# NAME, and a line of DATA/ext-manifest.txt:
#     archive <TAB> password or - <TAB> result in the default mode (* where it differs by platform)
#     <TAB> result with the extensions on <TAB> entry=message,... (or -)
# Archives named posix-* hold names only POSIX systems can give; archives
# named big-* are only tested (-t), in place: 70,000 entries, or a 5 GiB
# entry in a sparse file.  A split set's volumes lie beside its last one.
EXT_FILES = [("src/plain.txt", b"plain text\n"), ("src/caf\u00e9/na\u00efve.txt", b"accents\n"),
             ("src/\u65e5\u672c\u8a9e/\u6587\u66f8.txt", b"kanji\n"), ("src/empty/", None),
             ("links/exec.sh", b"#!/bin/sh\n", 0o755), ("links/readonly.txt", b"read only\n", 0o444)]
OK, LONG_PATH = (2021, 3, 4, 5, 6, 8), ("d" * 96 + "/") * 3 + "long-name"
# A name that fits the 260-byte name buffer but not once it follows any
# destination directory of the tests (the shortest is "/tmp/qzt-0-0/out/").
FITS_ALONE = "e" * 120 + "/" + "f" * 125 + ".txt"


def ext_python(path, entries):
    """entries: (name, data, options): date, method, mode, cp437 (the name stored in
    that code page, bit 11 clear) and upath (a Unicode Path field; 'stale'
    gives it a CRC that does not match the stored name)."""
    patches = []
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data, opt in entries:
            # A cp437 name goes in as an ASCII placeholder of its length, patched below.
            stored = "".join(c if c < "\x80" else "_" for c in name) if "cp437" in opt else name
            patches += [(stored.encode(), name.encode("cp437"))] if "cp437" in opt else []
            info = zipfile.ZipInfo(stored, opt.get("date", OK))
            info.compress_type = opt.get("method", zipfile.ZIP_DEFLATED)
            if "upath" in opt:
                field = struct.pack("<BI", 1, binascii.crc32(stored.encode()) ^ ("stale" in opt))
                field += opt["upath"].encode()
                info.extra = struct.pack("<HH", 0x7075, len(field)) + field
            info.external_attr = opt.get("mode", 0) << 16
            z.writestr(info, data)
    data = open(path, "rb").read()
    for placeholder, raw in patches:
        data = data.replace(placeholder, raw)
    open(path, "wb").write(data)


def ext_writers():
    """(archive, password, result of the default mode (measured), tool,
    command and source folder, or the entries ext_python writes)."""
    zip_, sevenzip, bsdtar = ["zip", "-q", "-r"], ["7z", "a", "-tzip"], ["bsdtar", "--format", "zip"]
    return [("zip-password.zip", PASSWORD, -8, "zip", zip_ + ["-P", PASSWORD], "src"),
            ("zip-utf8.zip", "-", -8, "zip", zip_, "src"),
            ("zip-symlink.zip", "-", 0, "zip", zip_ + ["-y"], "links"),
            ("7z-utf8.zip", "-", -8, "7z", sevenzip + ["-mcu=on"], "src"),
            ("7z-zipcrypto.zip", PASSWORD, -8, "7z", sevenzip + ["-mem=ZipCrypto", "-p" + PASSWORD], "src"),
            ("7z-aes.zip", PASSWORD, -8, "7z", sevenzip + ["-mem=AES256", "-p" + PASSWORD], "src"),
            ("bsdtar-zipcrypt.zip", PASSWORD, -8, "bsdtar", bsdtar + ["--options", "zip:encryption=zipcrypt",
             "--passphrase", PASSWORD, "-cf"], "src"),
            ("bsdtar-utf8.zip", "-", -8, "bsdtar", bsdtar + ["-cf"], "src"),
            ("python-utf8.zip", "-", 0, "python", [("caf\u00e9/na\u00efve.txt", b"1", {}),
                                                   ("\u4e2d\u6587.txt", b"2", {}),
                                                   ("private.txt", b"3", {"mode": 0o600})]),
            ("python-cp437.zip", "-", 0, "python", [("r\u00e9sum\u00e9/\u00c4rger.txt", b"1", {"cp437": 1}),
                                                    ("a\u00f1o \u00df.txt", b"2", {"cp437": 1})]),
            ("python-unicode-path.zip", "-", 0, "python", [
                ("naive/cafe.txt", b"1", {"upath": "na\u00efve/caf\u00e9.txt"}),
                ("stale.txt", b"2", {"upath": "wrong.txt", "stale": 1})]),
            ("python-bzip2.zip", "-", -3, "python", [("a.txt", b"1", {}), ("b.txt", b"2" * 100,
             {"method": zipfile.ZIP_BZIP2}), ("c.txt", b"3", {})]),
            ("python-invalid-time.zip", "-", 105, "python", [
                ("month-13.txt", b"1", {"date": (2021, 13, 1, 5, 6, 8)}),
                ("month-0.txt", b"2", {"date": (2021, 0, 1, 5, 6, 8)}),
                ("hour-25.txt", b"3", {"date": (2021, 3, 4, 25, 6, 8)}), ("valid.txt", b"4", {})]),
            # "/abs.txt" by the old rules is the root of the destination's drive: 103 here, 0 on Windows.
            ("python-unsafe-names.zip", "-", "*", "python", [("/abs.txt", b"1", {}), ("../up.txt", b"2", {}),
                                                           ("a/../../x.txt", b"3", {}), ("a/ok.txt", b"4", {})]),
            ("python-long-path.zip", "-", -18, "python", [(LONG_PATH, b"1", {}), (FITS_ALONE, b"3", {}), ("short.txt", b"2", {})]),
            ("posix-names.zip", "-", -8, "python", [("Case.txt", b"upper", {}), ("case.txt", b"lower", {}),
             ('a:b?c"d*e<f>g|h.txt', b"odd", {})]),
            ("zip64-forced.zip", "-", 105, "zip", zip_ + ["-fz"], "src"),
            ("zip64-pipe.zip", "-", -2, "pipe", None),
            ("zip64-python.zip", "-", 0, "python64", None),
            ("stub-elf.zip", "-", -1, "stub", None),
            ("stub-zipapp.pyz", "-", -1, "zipapp", None),
            ("stub-sfx.zip", "-", 105, "sfx", None),
            ("split.zip", "-", -11, "split", None),
            ("big-entries.zip", "-", -2, "count", None),
            ("big-sparse.zip", "-", 105, "sparse", None)]


def ext_special(tool, path, ext):
    """Archives made otherwise than from a folder; False when the tool or
    the file system cannot make one here."""
    if tool == "pipe":
        with open(os.path.join(ext, "src", "plain.txt"), "rb") as data:
            subprocess.run(["zip", "-q", path, "-"], stdin=data, check=True)
    elif tool == "python64":
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
            with z.open(zipfile.ZipInfo("forced.txt", OK), "w", force_zip64=True) as f:
                f.write(b"forced ZIP64 " * 1000)
    elif tool in ("stub", "sfx", "split"):
        # An ELF stub, or an MZ one in front of a ZIP64 archive; offsets not adjusted.
        made = path + ".tmp" if tool != "split" else path
        options = {"split": ["-s", "100k"], "sfx": ["-fz"]}.get(tool, [])
        subprocess.run(["zip", "-q", "-r"] + options + [made, "."], cwd=os.path.join(ext, "big"), check=True)
        if tool != "split":
            stub = open("/bin/true", "rb").read() if tool == "stub" else b"MZ" + bytes(4094)
            with open(path, "wb") as f:
                f.write(stub + open(made, "rb").read())
            os.remove(made)
    elif tool == "zipapp":
        import zipapp
        zipapp.create_archive(os.path.join(ext, "big"), path, interpreter="/usr/bin/env python3", main="os:getcwd")
    elif tool == "count":
        with zipfile.ZipFile(path, "w") as z:
            for i in range(70000):
                z.writestr(zipfile.ZipInfo("e%05d" % i, OK), b"%d" % i)
    elif tool == "sparse":
        size, name, crc, chunk = 5 << 30, b"zeros.bin", 0, bytes(1 << 24)
        for _ in range(size // len(chunk)):
            crc = binascii.crc32(chunk, crc)
        extra = struct.pack("<HHQQ", 1, 16, size, size)
        fixed = (0, 0, 0x21, 0x5264, crc, 0xFFFFFFFF, 0xFFFFFFFF, len(name), len(extra))
        with open(path, "wb") as f:
            f.write(struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, *fixed) + name + extra)
            f.seek(size, 1)
            at = f.tell()
            f.write(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, *fixed, 0, 0, 0, 0, 0) + name + extra)
            z64 = f.tell()
            f.write(struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 1, 1, z64 - at, at))
            f.write(struct.pack("<IIQI", 0x07064B50, 0, z64, 1))
            f.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, 0xFFFFFFFF, 0xFFFFFFFF, 0))
        if os.stat(path).st_blocks * 512 > size // 2:
            os.remove(path)
            return False
    return True


def ext_name(info):
    """The entry's name as the extension mode reads it: UTF-8 with flag bit
    11, else from a Unicode Path field whose CRC matches, else code page 437."""
    raw, extra = info.orig_filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437"), info.extra
    while len(extra) >= 4 and not info.flag_bits & 0x800:
        kind, size = struct.unpack("<HH", extra[:4])
        if kind == 0x7075 and extra[4] == 1 and struct.unpack("<I", extra[5:9])[0] == binascii.crc32(raw):
            return extra[9:4 + size].decode()
        extra = extra[4 + size:]
    return info.filename


def ext_expected(path, password, out):
    """Extracts with zipfile into out, as the extension mode must; returns the
    entries it must report: unsupported methods, long names, invalid times."""
    messages = []
    os.makedirs(out)
    if os.path.basename(path).startswith("big-"):
        return "-"
    if path.endswith("split.zip"):
        shutil.copytree(os.path.dirname(path) + "/big", out, dirs_exist_ok=True)
        return "-"
    with zipfile.ZipFile(path) as z:
        for info in z.infolist():
            name, (y, mo, d, h, mi, s) = ext_name(info), info.date_time
            code = -3 if info.compress_type in (12, 99) else -18 if len(name.encode()) >= len(FITS_ALONE) else 0
            code = code or (-30 if not (1 <= mo <= 12 and 1 <= d <= 31 and h < 24 and mi < 60) else 0)
            code = -31 if ".." in name.split("/") else code
            name = name.lstrip("/")
            messages += ["%s=%d" % (name, code)] if code else []
            if name.endswith("/"):
                os.makedirs(os.path.join(out, name), exist_ok=True)
            elif code in (0, -30):
                os.makedirs(os.path.dirname(os.path.join(out, name)), exist_ok=True)
                pwd = password.encode() if info.flag_bits & 1 else None
                open(os.path.join(out, name), "wb").write(z.read(info, pwd))
    return ",".join(messages) or "-"


def make_ext(data_dir):
    ext, expected = os.path.join(data_dir, "ext"), os.path.join(data_dir, "ext-expected")
    for d in (ext, expected):
        shutil.rmtree(d, ignore_errors=True)
    for name, data, *mode in EXT_FILES:
        os.makedirs(os.path.dirname(os.path.join(ext, name)), exist_ok=True)
        if data is not None:
            open(os.path.join(ext, name), "wb").write(data)
            os.chmod(os.path.join(ext, name), mode[0] if mode else 0o644)
    os.symlink("exec.sh", os.path.join(ext, "links", "link"))
    os.makedirs(os.path.join(ext, "big", "sub"))
    rng = random.Random(7)
    for i, size in enumerate((150000, 90000, 120000)):
        open(os.path.join(ext, "big", "sub" if i else ".", "r%d.bin" % i), "wb").write(rng.randbytes(size))
    lines = []
    for name, password, default, tool, how, *src in ext_writers():
        path = os.path.join(ext, name)
        if tool == "python":
            ext_python(path, how)
        elif how is None:
            if (tool not in ("count", "sparse", "python64", "zipapp") and not shutil.which("zip")) or \
                    not ext_special(tool, path, ext):
                continue
        elif shutil.which(tool):
            folder = os.path.join(ext, src[0])
            subprocess.run(how + [path] + sorted(os.listdir(folder)), cwd=folder, check=True,
                           stdout=subprocess.DEVNULL, env=dict(os.environ, LC_ALL="C.UTF-8"))
        else:
            lines += [] if "skip\t" + tool in lines else ["skip\t" + tool]
            continue
        messages = ext_expected(path, password, os.path.join(expected, name))
        result = -8 if messages != "-" else 0
        lines.append("%s\t%s\t%s\t%d\t%s" % (name, password, default, result, messages))
    with open(os.path.join(data_dir, "ext-manifest.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")


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
    make_ext(data_dir)
    print("%d archives in %s" % (sum(1 for l in lines if not l.startswith("skip")), archives))


if __name__ == "__main__":
    main()
