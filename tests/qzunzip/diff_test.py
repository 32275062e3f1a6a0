#!/usr/bin/env python3
"""qzunzip against unzip (Info-ZIP): the same archives, the same options.

    diff_test.py QZUNZIP [EMULATOR ...]

Archives are made at test time with zip, 7z, bsdtar and Python.  Each row
runs qzunzip and unzip in separate folders and compares the exit codes, the
extracted trees (names, bytes, and modes natively) and, for -p, standard
output.  Rows in DELIBERATE differ from unzip on purpose: qzunzip's own
answer is checked instead.  Under an EMULATOR (wine) unzip runs natively as
the reference, and rows whose answer depends on the host's names are left
out.  Exit status 77: a tool is missing.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

# Where qzunzip differs from unzip on purpose: row -> (qzunzip's exit code, the names it extracts, why).
DELIBERATE = {
    "bomb": (12, set(), "unzip writes the entries before the overlap, then stops; qzunzip refuses "
             "before writing anything"),
    "no password": (1, {"dir", "dir/sub"}, "unzip exits 5 when it cannot read a password; qzunzip skips "
                    "those entries with a message: 1, or 82 when nothing else was extracted"),
    "drive": (1, {"drv.txt"}, "unzip on Unix keeps \"C:\" as a folder name; qzunzip removes drive "
              "prefixes everywhere"),
    "zip names": (None, None, "zip marks no UTF-8 name as such: unzip reads it as code page 437, qzunzip "
                  "keeps its bytes, the name it had; such names are not compared"),
}

SOURCE = {"a.txt": b"alpha\n", "b.txt": b"bravo\n" * 50, "dir/c.txt": b"charlie\n",
          "dir/sub/d.bin": bytes(range(256)) * 40, "dir/E.TXT": b"echo\n", "\u00fcml\u00e4ut.txt": b"utf\n"}


def make_tree(root):
    for name, data in SOURCE.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(root, "empty"))
    os.chmod(os.path.join(root, "a.txt"), 0o600)


def python_zip(path, entries):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, (2024, 5, 1, 12, 0, 0))
            info.create_system = 3
            info.external_attr = (0o40755 << 16 | 0x10) if name.endswith("/") else 0o100644 << 16
            z.writestr(info, data, zipfile.ZIP_DEFLATED)


def bomb(path):
    python_zip(path, [("x.txt", b"x" * 100)])
    data = open(path, "rb").read()
    end = data.rfind(b"PK\x05\x06")
    start = struct.unpack("<I", data[end + 16:end + 20])[0]
    directory = data[start:end] + data[start:end].replace(b"x.txt", b"y.txt")
    tail = bytearray(data[end:])
    struct.pack_into("<HHI", tail, 8, 2, 2, len(directory))
    open(path, "wb").write(data[:start] + directory + tail)


def damaged(path):
    python_zip(path, [("ok.txt", b"fine\n"), ("bad.txt", b"hello world " * 20)])
    data = bytearray(open(path, "rb").read())
    data[data.find(b"bad.txt") + 12] ^= 0x55
    open(path, "wb").write(data)


def make_archives(work):
    tree = os.path.join(work, "tree")
    make_tree(tree)
    quiet = dict(cwd=tree, stdout=subprocess.DEVNULL, check=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
    subprocess.run(["zip", "-qr", "../zip.zip", "."], **quiet)
    subprocess.run(["7z", "a", "-tzip", "../7z.zip", "."], **quiet)
    subprocess.run(["bsdtar", "--format", "zip", "-cf", "../bsdtar.zip", "."], **quiet)
    subprocess.run(["zip", "-qr", "-P", "secret", "../encrypted.zip", "a.txt", "dir"], **quiet)
    python_zip(os.path.join(work, "python.zip"),
               [("dir/", b""), ("empty/", b"")] + [(n, d) for n, d in SOURCE.items()])
    python_zip(os.path.join(work, "unsafe.zip"), [("../up.txt", b"up\n"), ("/abs.txt", b"abs\n"),
                                                  ("ok", b"")])
    python_zip(os.path.join(work, "drive.zip"), [("C:/drv.txt", b"drive\n")])
    damaged(os.path.join(work, "damaged.zip"))
    bomb(os.path.join(work, "bomb.zip"))


# name, archive ("*": every maker's), arguments (A the archive, OUT the destination), files there before.
OLD = {"a.txt": (b"old\n", 946684800), "dir/c.txt": (b"future\n", 4102444800)}
ROWS = [
    ("extract", "*", ["A", "-d", "OUT"], None),
    ("list", "*", ["-l", "A"], None),
    ("verbose list", "*", ["-v", "A"], None),
    ("test", "*", ["-t", "A"], None),
    ("pipe", "*", ["-p", "A"], None),
    ("pipe one", "zip", ["-p", "A", "dir/sub/d.bin"], None),
    ("overwrite", "zip", ["-o", "A", "-d", "OUT"], OLD),
    ("never overwrite", "zip", ["-n", "A", "-d", "OUT"], OLD),
    ("ask, no terminal", "zip", ["A", "-d", "OUT"], OLD),
    ("freshen", "zip", ["-fo", "A", "-d", "OUT"], OLD),
    ("update", "zip", ["-uo", "A", "-d", "OUT"], OLD),
    ("junk paths", "zip", ["-j", "A", "-d", "OUT"], None),
    ("quiet", "zip", ["-q", "A", "-d", "OUT"], None),
    ("quieter, combined", "zip", ["-qqo", "-dOUT", "A"], OLD),
    ("names cross /", "zip", ["A", "-d", "OUT", "dir/*"], None),
    ("wildcards", "zip", ["A", "-d", "OUT", "?.txt", "dir/*.[bt]*"], None),
    ("exclude", "zip", ["A", "-d", "OUT", "-x", "*.bin", "a.txt"], None),
    ("names after -d", "zip", ["A", "-d", "OUT", "-x", "*.txt"], None),
    ("case", "zip", ["A", "-d", "OUT", "dir/e.txt"], None),
    ("case folded", "zip", ["-C", "A", "-d", "OUT", "DIR/E.*"], None),
    ("comment", "zip", ["-z", "A"], None),
    ("no match", "zip", ["A", "-d", "OUT", "nothing"], None),
    ("some match", "zip", ["A", "-d", "OUT", "a.txt", "nothing"], None),
    ("bad option", "zip", ["-k", "A"], None),
    ("no archive", "missing", ["A", "-d", "OUT"], None),
    ("without .zip", "zip-noext", ["A", "-d", "OUT"], None),
    ("password", "encrypted", ["-P", "secret", "A", "-d", "OUT"], None),
    ("password pipe", "encrypted", ["-p", "-Psecret", "A", "a.txt"], None),
    ("wrong password", "encrypted", ["-P", "wrong", "A", "-d", "OUT"], None),
    ("no password", "encrypted", ["A", "-d", "OUT"], None),
    ("damaged", "damaged", ["A", "-d", "OUT"], None),
    ("damaged test", "damaged", ["-t", "A"], None),
    ("unsafe names", "unsafe", ["A", "-d", "OUT"], None),
    ("drive", "drive", ["A", "-d", "OUT"], None),
    ("bomb", "bomb", ["A", "-d", "OUT"], None),
]
MAKERS = ["zip", "7z", "bsdtar", "python"]


def tree(root, modes):
    out = {}
    for top, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(top, name)
            st = os.lstat(path)
            data = None if name in dirs else open(path, "rb").read()
            out[os.path.relpath(path, root)] = (data, st.st_mode & 0o777 if modes else 0)
    return out


def run(cmd, work, archive, options, old, modes):
    """Runs one tool in a fresh folder: (exit code, stdout, tree of OUT)."""
    folder = tempfile.mkdtemp(dir=work)
    for name, (data, when) in (old or {}).items():
        path = os.path.join(folder, "OUT", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (when, when))
    source = os.path.join(work, archive.replace("-noext", "") + ".zip")
    name = "archive" if archive.endswith("-noext") else "archive.zip"
    if os.path.exists(source):
        shutil.copy(source, os.path.join(folder, "archive.zip"))
    p = subprocess.run(cmd + [name if a == "A" else a for a in options], cwd=folder, stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True,
                       env=dict(os.environ, WINEDEBUG="-all", LC_ALL="C.UTF-8"), timeout=300)
    out = os.path.join(folder, "OUT")
    return p.returncode, p.stdout, tree(out, modes) if os.path.isdir(out) else {}, p.stderr


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    tool, emulator = os.path.abspath(sys.argv[1]), sys.argv[2:]
    for need in ["unzip", "zip", "7z", "bsdtar"] + emulator[:1]:
        if shutil.which(need) is None:
            print("skipped: %s is not installed" % need)
            return 77
    os.environ["TZ"] = "UTC"
    failures = count = 0
    with tempfile.TemporaryDirectory(prefix="qzdiff-") as work:
        make_archives(work)
        for name, archive, options, old in ROWS:
            for maker in MAKERS if archive == "*" else [archive]:
                if emulator and name == "drive":   # a drive prefix means something there
                    continue
                label = "%s [%s %s]" % (name, maker, " ".join(options))
                count += 1
                qz = run(emulator + [tool], work, maker, options, old, not emulator)
                uz = run(["unzip"], work, maker, options, old, not emulator)
                if emulator or maker.startswith("zip"):
                    # Names outside ASCII: the host's to spell, and see "zip names".
                    for t in (qz[2], uz[2]):
                        for k in [k for k in t if not k.isascii()]:
                            del t[k]
                problem = None
                if name in DELIBERATE:
                    status, names, _ = DELIBERATE[name]
                    if (qz[0], set(qz[2])) != (status, names):
                        problem = "exit %d, expected %d; extracted %s" % (qz[0], status, sorted(qz[2]))
                elif qz[0] != uz[0]:
                    problem = "exit %d, unzip %d" % (qz[0], uz[0])
                elif qz[2] != uz[2]:
                    diff = sorted(k for k in set(qz[2]) | set(uz[2]) if qz[2].get(k) != uz[2].get(k))
                    problem = "trees differ at %s" % diff[:5]
                elif options[0].startswith("-p") and qz[1] != uz[1]:
                    problem = "standard output differs: %r / %r" % (qz[1][:60], uz[1][:60])
                if problem:
                    failures += 1
                    print("FAIL %s: %s\n%s" % (label, problem, qz[3].decode(errors="replace")[-800:]))
                else:
                    print("ok   %s" % label)
    print("%d passed, %d failed" % (count - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
