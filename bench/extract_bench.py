#!/usr/bin/env python3
"""End-to-end extraction speed: qzunzip against bsdtar and 7z.

    extract_bench.py QZUNZIP [SOURCE_DIR]

Zips SOURCE_DIR (default /usr/include) with `zip -r -6`, then times, best of
five runs each, taken in turns within the same run:

    extract test   qzunzip -t, bsdtar -xOf ARCHIVE >/dev/null, 7z t
    extract disk   qzunzip -d, bsdtar -xf, 7z x, each into an empty folder

and prints one line per measure with the ratio qzunzip/bsdtar.  Before the
figures count, the trees that qzunzip and bsdtar extracted are compared.
"""
import filecmp
import os
import shutil
import subprocess
import sys
import tempfile
import time

RUNS = 5


def need(tool):
    if shutil.which(tool) is None:
        sys.exit("extract_bench: %s is not installed" % tool)


def timed(cmd, cwd, stdout=subprocess.DEVNULL):
    start = time.perf_counter()
    p = subprocess.run(cmd, cwd=cwd, stdout=stdout, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if p.returncode != 0:
        sys.exit("extract_bench: %s failed with %d:\n%s" % (" ".join(cmd), p.returncode,
                                                           p.stderr.decode(errors="replace")[-2000:]))
    return elapsed


def files_below(root):
    return {os.path.relpath(os.path.join(t, f), root): os.path.join(t, f)
            for t, _, fs in os.walk(root) for f in fs}


def same_trees(qz, reference):
    """True when qzunzip's tree holds the reference's files with the same
    contents.  Names are case-insensitive to the library, as on Windows: of
    names that differ only in case it keeps the first and declines the
    others as existing files, so of each such group one file is expected."""
    got, want = files_below(qz), files_below(reference)
    groups = {}
    for rel in want:
        groups.setdefault(rel.lower(), []).append(rel)
    folded = 0
    for names in groups.values():
        present = [n for n in names if n in got]
        if len(present) != 1:
            print("expected one of %s, found %s" % (names, present))
            return False
        folded += len(names) - 1
        if not filecmp.cmp(got[present[0]], want[present[0]], shallow=False):
            print("differs: %s" % present[0])
            return False
    if len(got) != len(groups):
        print("unexpected files: %s" % sorted(set(got) - set(want))[:3])
        return False
    if folded:
        print("%d names differ from another only in case; qzunzip keeps one of each" % folded)
    return True


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    qzunzip = os.path.abspath(sys.argv[1])
    source = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else "/usr/include")
    for tool in ("zip", "bsdtar", "7z"):
        need(tool)

    with tempfile.TemporaryDirectory(prefix="qzbench-") as work:
        archive = os.path.join(work, "include.zip")
        parent, base = os.path.split(source)
        subprocess.run(["zip", "-r", "-6", "-q", archive, base], cwd=parent, check=True)
        files = sum(len(f) for _, _, f in os.walk(source))
        print("archive: %s, %d files, %.1f MB" % (source, files, os.path.getsize(archive) / 1e6))

        # Every tool runs in the work folder with relative names, as typed by
        # a user there, so that the figures do not depend on the folders
        # above it (the library's POSIX layer looks at every folder of a
        # path).
        out = os.path.join(work, "out")
        into = lambda folder: {
            "qzunzip": [qzunzip, "-q", "-d", "include.zip", folder + "/"],
            "bsdtar": ["bsdtar", "-xf", "include.zip", "-C", folder],
            "7z": ["7z", "x", "-y", "-o" + folder, "include.zip"],
        }
        disk = into("out")
        test = {
            "qzunzip": [qzunzip, "-q", "-t", "include.zip"],
            "bsdtar": ["bsdtar", "-xOf", "include.zip"],
            "7z": ["7z", "t", "include.zip"],
        }

        # The copies must agree before their times mean anything.
        for name in ("qzunzip", "bsdtar"):
            os.makedirs(out + "-" + name)
            subprocess.run(into("out-" + name)[name], cwd=work, check=True, stdout=subprocess.DEVNULL)
        if not same_trees(os.path.join(out + "-qzunzip", base), os.path.join(out + "-bsdtar", base)):
            sys.exit("extract_bench: qzunzip and bsdtar extracted different trees")
        shutil.rmtree(out + "-qzunzip")
        shutil.rmtree(out + "-bsdtar")

        best = {("test", n): float("inf") for n in test}
        best.update({("disk", n): float("inf") for n in disk})
        for _ in range(RUNS):
            for name, cmd in test.items():
                best["test", name] = min(best["test", name], timed(cmd, work))
            for name, cmd in disk.items():
                os.makedirs(out)
                best["disk", name] = min(best["disk", name], timed(cmd, work))
                shutil.rmtree(out)

        for kind in ("test", "disk"):
            q, b, z = best[kind, "qzunzip"], best[kind, "bsdtar"], best[kind, "7z"]
            print("extract %s: qzunzip %.2f s, bsdtar %.2f s, 7z %.2f s, qzunzip/bsdtar %.2f" % (kind, q, b, z, q / b))


if __name__ == "__main__":
    main()
