#!/usr/bin/env python3
"""The qzunzip executable on a pseudo-terminal: the overwrite question, the
password prompt and its retry question, and the status line at several
widths.

    cli_test.py QZUNZIP

POSIX only: it needs pseudo-terminals.
"""
import fcntl
import os
import pty
import select
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest
import zipfile

TOOL = None


class Session:
    """qzunzip on a pseudo-terminal of the given width, in folder `cwd`."""

    def __init__(self, args, cwd, width=80):
        self.master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, width, 0, 0))
        self.p = subprocess.Popen([TOOL] + args, stdin=slave, stdout=slave, stderr=slave, cwd=cwd)
        os.close(slave)
        self.seen = b""

    def until(self, marker, timeout=30):
        """Reads until marker appears after what was read before; returns the new text."""
        start = len(self.seen)
        deadline = time.time() + timeout
        while marker not in self.seen[start:] and time.time() < deadline:
            if select.select([self.master], [], [], 0.5)[0]:
                try:
                    chunk = os.read(self.master, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                self.seen += chunk
        return self.seen[start:].decode("utf-8", "replace")

    def type(self, text):
        os.write(self.master, text.encode())

    def end(self):
        self.until(b"\0", timeout=2)   # what is left
        status = self.p.wait(timeout=30)
        os.close(self.master)
        return status


class QzunzipOnATerminal(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="qzcli-")
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def test_overwrite_question(self):
        with zipfile.ZipFile(os.path.join(self.dir, "a.zip"), "w") as z:
            for n in ("a.txt", "b.txt", "c.txt"):
                z.writestr(n, "new")
        os.mkdir(os.path.join(self.dir, "out"))
        for n in ("a.txt", "b.txt", "c.txt"):
            with open(os.path.join(self.dir, "out", n), "w") as f:
                f.write("old")
        s = Session(["a.zip", "-d", "out"], self.dir)
        for name, answer in (("a.txt", "y"), ("b.txt", "N")):
            question = s.until(b"[q]uit: ")
            self.assertIn("replace out/%s? [y]es, [n]o, [A]ll, [N]one, [q]uit: " % name, question)
            s.type(answer + "\n")
        self.assertEqual(s.end(), 0)
        for n, want in (("a.txt", "new"), ("b.txt", "old"), ("c.txt", "old")):
            with open(os.path.join(self.dir, "out", n)) as f:
                self.assertEqual(f.read(), want, n)

    def test_password_prompt(self):
        for n in ("a.txt", "b.txt"):
            with open(os.path.join(self.dir, n), "w") as f:
                f.write(n)
        subprocess.run(["zip", "-q", "-P", "secret", "e.zip", "a.txt", "b.txt"], cwd=self.dir, check=True)
        s = Session(["e.zip", "-d", "out"], self.dir)
        self.assertIn("[e.zip] a.txt password: ", s.until(b"password: "))
        s.type("wrong\n")
        # Each entry it fails on: a.txt retried with the right one, b.txt skipped.
        self.assertIn("out/a.txt: incorrect password. [r]etry, [s]kip, [a]ll skip: ", s.until(b"skip: "))
        s.type("r\n")
        s.until(b"password: ")
        s.type("secret\n")
        self.assertIn("out/b.txt: incorrect password.", s.until(b"skip: "))
        s.type("s\n")
        self.assertEqual(s.end(), 1)
        self.assertNotIn(b"secret", s.seen)   # typed without echo
        self.assertNotIn(b"wrong", s.seen)
        self.assertTrue(os.path.exists(os.path.join(self.dir, "out", "a.txt")))
        self.assertFalse(os.path.exists(os.path.join(self.dir, "out", "b.txt")))

    def test_status_line(self):
        with zipfile.ZipFile(os.path.join(self.dir, "m.zip"), "w", zipfile.ZIP_DEFLATED) as z:
            for i in range(400):
                z.writestr("a-rather-long-folder-name/and-a-long-file-name-%03d.txt" % i, os.urandom(30000))
        for width in (40, 120):
            s = Session(["-o", "m.zip", "-d", "out"], self.dir, width)
            self.assertEqual(s.end(), 0, width)
            text = s.seen.decode("utf-8", "replace")
            lines = text.replace("\r\n", "\n").split("\n")
            self.assertLessEqual(len(lines), 4, "%d: one status line, not one line per entry" % width)
            drawn = [part for line in lines for part in line.split("\r") if "/400" in part]
            self.assertTrue(drawn, width)
            self.assertTrue(all(len(part) < width for part in drawn), "%d: %r" % (width, drawn))
            self.assertIn("400 files, 0 directories", text)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    TOOL = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
