#!/usr/bin/env python3
"""Runs qzunzip on the archives that make_archives.py made.

    qzunzip_interop.py DATA TOOL [EMULATOR ...]

For every archive of DATA/manifest.txt that other writers made:
  - qzunzip -d extracts a copy of the source tree, byte for byte, with its
    empty directories and its file times, and exits with 0;
  - qzunzip -t tests it and exits with 0;
  - qzunzip -v lists every entry;
and for an archive whose encrypted entries the password check refuses, the
extraction exits with 1, names every file with the wrong-password warning
and writes no file.

TOOL is run through EMULATOR when one is given (wine for the Windows build);
paths are then given relative to the working folder, which Wine maps to a
drive of its own.  Exit status 77 means that the test could not run at all.
"""
import os
import shutil
import subprocess
import sys
import zipfile

SKIPPED = 77


class Failure(Exception):
    pass


def tree_listing(root):
    """{relative path: bytes or None for a directory} below root."""
    items = {}
    for top, dirs, files in os.walk(root):
        rel = os.path.relpath(top, root)
        for d in dirs:
            items[os.path.normpath(os.path.join(rel, d))] = None
        for f in files:
            p = os.path.join(top, f)
            with open(p, "rb") as fh:
                items[os.path.normpath(os.path.join(rel, f))] = (fh.read(), os.stat(p).st_mtime)
    return items


def compare_trees(source, copy):
    want, got = tree_listing(source), tree_listing(copy)
    missing = sorted(set(want) - set(got))
    extra = sorted(set(got) - set(want))
    if missing or extra:
        raise Failure("missing %s, unexpected %s" % (missing[:5], extra[:5]))
    for name, item in want.items():
        if (item is None) != (got[name] is None):
            raise Failure("%s: a file on one side, a directory on the other" % name)
        if item is None:
            continue
        if item[0] != got[name][0]:
            raise Failure("%s: the bytes differ (%d against %d)" % (name, len(item[0]), len(got[name][0])))
        # MS-DOS times have 2-second steps.
        if abs(item[1] - got[name][1]) > 2:
            raise Failure("%s: modification time %s, expected %s" % (name, got[name][1], item[1]))


def regular_files(root):
    return [os.path.join(t, f) for t, _, fs in os.walk(root) for f in fs]


class Runner:
    def __init__(self, data, tool, emulator):
        self.data = data
        self.tool = tool
        self.emulator = emulator

    def qzunzip(self, *args):
        """Runs the tool in DATA; returns (exit status, stdout, stderr)."""
        cmd = self.emulator + [self.tool] + list(args)
        env = dict(os.environ, WINEDEBUG="-all")
        p = subprocess.run(cmd, cwd=self.data, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=600)
        # The Windows build writes text with "\r\n".
        text = lambda b: b.decode("utf-8", "replace").replace("\r\n", "\n")
        return p.returncode, text(p.stdout), text(p.stderr)

    def expect(self, status, want, args, out, err):
        if status != want:
            raise Failure("qzunzip %s: exit status %d, expected %d\n%s%s" % (" ".join(args), status, want,
                                                                          out[-2000:], err[-2000:]))

    def check_ok(self, archive, password):
        path = "archives/" + archive
        pw = ["-s:%s:" % password] if password != "-" else []
        dest = "out-" + archive[:-4]
        shutil.rmtree(os.path.join(self.data, dest), ignore_errors=True)
        try:
            args = ["-d"] + pw + [path, dest + "/"]
            status, out, err = self.qzunzip(*args)
            self.expect(status, 0, args, out, err)
            compare_trees(os.path.join(self.data, "tree"), os.path.join(self.data, dest, "tree"))
        finally:
            shutil.rmtree(os.path.join(self.data, dest), ignore_errors=True)

        args = ["-t"] + pw + [path]
        status, out, err = self.qzunzip(*args)
        self.expect(status, 0, args, out, err)
        if "No errors detected" not in out:
            raise Failure("qzunzip -t printed no verdict:\n" + out[-1000:])

        names = zipfile.ZipFile(os.path.join(self.data, path)).namelist()
        status, out, err = self.qzunzip("-v", path)
        self.expect(status, 0, ["-v", path], out, err)
        listed = [line.split(None, 8)[-1] for line in out.splitlines()[2:-2]]
        if listed != names or ("%d entries" % len(names)) not in out:
            raise Failure("qzunzip -v listed %s, the archive holds %s" % (listed[:5], names[:5]))

        comment = zipfile.ZipFile(os.path.join(self.data, path)).comment
        if comment:
            status, out, err = self.qzunzip("-z", path)
            self.expect(status, 0, ["-z", path], out, err)
            if out.encode("latin-1", "replace") != comment:
                raise Failure("qzunzip -z printed %r, the comment is %r" % (out, comment))

    def check_refused(self, archive, password):
        """Info-ZIP checks the password of an entry with a data descriptor
        against its file time, the library against its CRC: every file
        entry is refused, and nothing is written."""
        path = "archives/" + archive
        with zipfile.ZipFile(os.path.join(self.data, path)) as z:
            files = [i.filename for i in z.infolist() if not i.filename.endswith("/")]
            if not all(i.flag_bits & 9 == 9 for i in z.infolist() if not i.filename.endswith("/")):
                raise Failure("the encrypted entries are expected to carry data descriptors")
        for dirs in ([], ["-d"]):
            dest = "out-" + archive[:-4]
            root = os.path.join(self.data, dest)
            shutil.rmtree(root, ignore_errors=True)
            try:
                args = dirs + ["-s:%s:" % password, path, dest + "/"]
                status, out, err = self.qzunzip(*args)
                self.expect(status, 1, args, out, err)
                warned = [l for l in err.splitlines() if "wrong password" in l and "(-24)" in l]
                if len(warned) != len(files):
                    raise Failure("%d wrong-password warnings for %d files:\n%s" % (len(warned), len(files), err))
                if "last problem: -24" not in err:
                    raise Failure("the more status is not named:\n" + err)
                written = regular_files(root)
                if written:
                    raise Failure("files were written: %s" % written[:5])
            finally:
                shutil.rmtree(root, ignore_errors=True)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    data, tool, emulator = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3:]
    manifest = os.path.join(data, "manifest.txt")
    if not os.path.exists(manifest):
        print("no archives: %s is missing (run make_archives.py first)" % manifest)
        return SKIPPED
    if emulator and shutil.which(emulator[0]) is None:
        print("skipped: %s is not installed" % emulator[0])
        return SKIPPED
    runner = Runner(data, os.path.abspath(tool), emulator)
    failures = 0
    with open(manifest) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "skip":
                print("SKIP %s: %s" % (fields[1], fields[2]))
                continue
            archive, writer, password, expect = fields
            try:
                if expect == "ok":
                    runner.check_ok(archive, password)
                else:
                    runner.check_refused(archive, password)
                print("ok   %-22s %s" % (archive, writer))
            except (Failure, subprocess.TimeoutExpired) as e:
                failures += 1
                print("FAIL %-22s %s: %s" % (archive, writer, e))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
