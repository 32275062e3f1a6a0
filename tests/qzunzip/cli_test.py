#!/usr/bin/env python3
"""The qzunzip executable on a pseudo-terminal: the overwrite question is
asked there and the typed answers decide.

    cli_test.py QZUNZIP

POSIX only: it needs pseudo-terminals.
"""
import os
import pty
import select
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

TOOL = None


def read_until(fd, marker, timeout=30):
    """Reads a pseudo-terminal until marker has appeared; returns the text."""
    seen = b""
    deadline = time.time() + timeout
    while marker not in seen and time.time() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.5)
        if not ready:
            continue
        chunk = os.read(fd, 4096)
        if not chunk:
            break
        seen += chunk
    return seen.decode("utf-8", "replace")


class QzunzipOnATerminal(unittest.TestCase):
    def test_answers_typed_on_the_terminal(self):
        with tempfile.TemporaryDirectory(prefix="qzcli-") as tmp:
            with zipfile.ZipFile(os.path.join(tmp, "a.zip"), "w", zipfile.ZIP_DEFLATED) as z:
                z.writestr("a.txt", "new")
                z.writestr("b.txt", "new")
            os.mkdir(os.path.join(tmp, "out"))
            for n in ("a.txt", "b.txt"):
                with open(os.path.join(tmp, "out", n), "w") as f:
                    f.write("old")
            master, slave = pty.openpty()
            p = subprocess.Popen([TOOL, "a.zip", "out/"], stdin=slave, stdout=slave, stderr=slave, cwd=tmp)
            os.close(slave)
            try:
                question = read_until(master, b"[q]uit: ")
                self.assertIn("replace out/a.txt? [y]es, [n]o, [A]ll, [q]uit: ", question)
                os.write(master, b"y\n")
                self.assertIn("replace out/b.txt?", read_until(master, b"[q]uit: "))
                os.write(master, b"n\n")
                self.assertEqual(p.wait(timeout=30), 0)
            finally:
                os.close(master)
            for n, want in (("a.txt", "new"), ("b.txt", "old")):
                with open(os.path.join(tmp, "out", n)) as f:
                    self.assertEqual(f.read(), want, n)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    TOOL = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
