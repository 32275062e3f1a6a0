#!/usr/bin/env python3
"""Runs qzunzip on the archives that make_archives.py made.

    qzunzip_interop.py DATA TOOL [EMULATOR ...]

For every archive of DATA/manifest.txt (a copy of it, which a fault cannot
damage): extraction (-d) gives the source tree, byte for byte, with empty directories
and file times, -t tests it, -v lists every entry, -z prints the comment.
qzunzip reads archives as today's writers make them, so the encrypted
archives that the library's contract refuses extract too.  TOOL runs through EMULATOR (wine) when
given, with relative paths.  Exit status 77: the test could not run at all.
"""
import os
import shutil
import subprocess
import sys
import zipfile


class Failure(Exception):
    pass


def tree_listing(root):
    """{relative path: None for a directory, else (bytes, modification time)}."""
    items = {}
    for top, dirs, files in os.walk(root):
        for name in dirs + files:
            p = os.path.join(top, name)
            rel = os.path.relpath(p, root)
            items[rel] = None if name in dirs else (open(p, "rb").read(), os.stat(p).st_mtime)
    return items


def compare_trees(source, copy):
    want, got = tree_listing(source), tree_listing(copy)
    if set(want) != set(got):
        raise Failure("missing %s, unexpected %s"
                      % (sorted(set(want) - set(got))[:5], sorted(set(got) - set(want))[:5]))
    for name, item in want.items():
        if (item is None) != (got[name] is None) or item and item[0] != got[name][0]:
            raise Failure("%s differs" % name)
        if item and abs(item[1] - got[name][1]) > 2:   # MS-DOS times have 2-second steps
            raise Failure("%s: modification time %s, expected %s" % (name, got[name][1], item[1]))


class Runner:
    def __init__(self, data, tool, emulator):
        self.data, self.tool, self.emulator = data, tool, emulator

    def qzunzip(self, want, *args):
        """Runs the tool in DATA and checks its exit status; returns (stdout, stderr)."""
        env = dict(os.environ, WINEDEBUG="-all")
        p = subprocess.run(self.emulator + [self.tool] + list(args), cwd=self.data, env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
        # The Windows build writes text with "\r\n".
        out, err = (b.decode("utf-8", "replace").replace("\r\n", "\n") for b in (p.stdout, p.stderr))
        if p.returncode != want:
            raise Failure("qzunzip %s: exit status %d, expected %d\n%s%s"
                          % (" ".join(args), p.returncode, want, out[-2000:], err[-2000:]))
        return out, err

    def check(self, archive, password, expect):
        work = os.path.join(self.data, "work")
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        shutil.copy(os.path.join(self.data, "archives", archive), work)
        path = "work/" + archive
        pw = ["-P", password] if password != "-" else []
        try:
            self.check_ok(path, pw)
        finally:
            shutil.rmtree(work, ignore_errors=True)

    def check_ok(self, path, pw):
        self.qzunzip(0, *(pw + [path, "-d", "work/out"]))
        compare_trees(os.path.join(self.data, "tree"), os.path.join(self.data, "work", "out", "tree"))
        if "No errors detected" not in self.qzunzip(0, *(["-t"] + pw + [path]))[0]:
            raise Failure("qzunzip -t printed no verdict")
        with zipfile.ZipFile(os.path.join(self.data, path)) as z:
            names, comment = z.namelist(), z.comment
        out = self.qzunzip(0, "-v", path)[0]
        listed = [line.split(None, 7)[-1] for line in out.splitlines()[3:-2]]
        if listed != names or ("%d file" % len(names)) not in out:
            raise Failure("qzunzip -v listed %s, the archive holds %s" % (listed[:5], names[:5]))
        if comment and self.qzunzip(0, "-z", path)[0].encode("latin-1", "replace") != comment:
            raise Failure("qzunzip -z printed another comment than %r" % comment)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    data, tool, emulator = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3:]
    if not os.path.exists(os.path.join(data, "manifest.txt")):
        print("no archives: run make_archives.py first")
        return 77
    if emulator and shutil.which(emulator[0]) is None:
        print("skipped: %s is not installed" % emulator[0])
        return 77
    runner = Runner(data, os.path.abspath(tool), emulator)
    failures = 0
    for line in open(os.path.join(data, "manifest.txt")):
        fields = line.rstrip("\n").split("\t")
        if fields[0] == "skip":
            print("SKIP %s: %s" % (fields[1], fields[2]))
            continue
        try:
            runner.check(fields[0], fields[2], fields[3])
            print("ok   %-22s %s" % (fields[0], fields[1]))
        except (Failure, subprocess.TimeoutExpired) as e:
            failures += 1
            print("FAIL %-22s %s: %s" % (fields[0], fields[1], e))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
