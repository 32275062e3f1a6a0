#!/usr/bin/env python3
"""The qzunzip executable as a process: Ctrl-C (SIGINT) while an entry is
being decoded, and on a pseudo-terminal the overwrite question and the
progress bar.

    cli_test.py QZUNZIP

POSIX only: it needs signals and pseudo-terminals.
"""
import os
import pty
import select
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
import zlib

TOOL = None


def huge_zeros_entry(path, name, chunks):
    """An archive with one deflated entry of chunks x 16 MiB zero bytes, made
    without compressing gigabytes: after a full flush the compressor starts
    from nothing, so every chunk compresses to the same bytes.  The CRC is
    left 0; the tests stop the run long before the end."""
    chunk = bytes(16 << 20)
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    block = c.compress(chunk) + c.flush(zlib.Z_FULL_FLUSH)
    data = block * chunks + c.flush()
    size = len(chunk) * chunks
    nm = name.encode()
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0x5221, 0, len(data), size, len(nm), 0) + nm
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0x5221, 0, len(data), size,
                          len(nm), 0, 0, 0, 0, 0x20, 0) + nm
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(local) + len(data), 0)
    with open(path, "wb") as f:
        f.write(local + data + central + end)


def read_until(fd, marker, timeout=30):
    """Reads a pseudo-terminal until marker has appeared; returns the text."""
    seen = b""
    deadline = time.time() + timeout
    while marker not in seen and time.time() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.5)
        if ready:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
    return seen.decode("utf-8", "replace")


class QzunzipProcess(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="qzcli-")
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def small_zip(self, entries):
        p = self.path("small.zip")
        with zipfile.ZipFile(p, "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in entries.items():
                z.writestr(name, data)
        return p

    def run_on_pty(self, args):
        """Starts the tool with a pseudo-terminal as stdin, stdout and stderr."""
        master, slave = pty.openpty()
        p = subprocess.Popen([TOOL] + args, stdin=slave, stdout=slave, stderr=slave, cwd=self.dir)
        os.close(slave)
        return p, master

    def test_ctrl_c_while_an_entry_is_decoded_cancels_the_run(self):
        z = self.path("zeros.zip")
        huge_zeros_entry(z, "zeros.bin", 160)  # 2.5 GiB
        p = subprocess.Popen([TOOL, "-t", z], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertIn(b"testing: zeros.bin", p.stdout.readline())
        p.send_signal(signal.SIGINT)
        out, err = p.communicate(timeout=60)
        self.assertEqual(p.returncode, 4, err)
        self.assertIn(b"cancelled (-4 cancelled)", err)

    def test_answers_typed_on_the_terminal(self):
        z = self.small_zip({"a.txt": "new", "b.txt": "new"})
        os.mkdir(self.path("out"))
        for n in ("a.txt", "b.txt"):
            with open(self.path("out/" + n), "w") as f:
                f.write("old")
        p, master = self.run_on_pty([z, "out/"])
        try:
            self.assertIn("replace out/a.txt? [y]es, [n]o, [A]ll, [q]uit: ", read_until(master, b"[q]uit: "))
            os.write(master, b"y\n")
            read_until(master, b"[q]uit: ")
            os.write(master, b"n\n")
            self.assertEqual(p.wait(timeout=30), 0)
        finally:
            os.close(master)
        with open(self.path("out/a.txt")) as f:
            self.assertEqual(f.read(), "new")
        with open(self.path("out/b.txt")) as f:
            self.assertEqual(f.read(), "old")

    def test_progress_bar_on_a_terminal(self):
        z = self.small_zip({"big.txt": "progress " * 400000})
        p, master = self.run_on_pty([z, "out/"])
        try:
            seen = read_until(master, b"100%")
            seen += read_until(master, b"\n", timeout=5)
            self.assertEqual(p.wait(timeout=30), 0)
        finally:
            os.close(master)
        self.assertIn("\r extracting: out/big.txt  [####################] 100%  3.6 MB / 3.6 MB", seen)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    TOOL = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
