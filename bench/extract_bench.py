#!/usr/bin/env python3
"""End-to-end extraction speed: qzunzip against bsdtar, unzip and 7z.

    extract_bench.py QZUNZIP [SOURCE_DIR]

Zips SOURCE_DIR (default /usr/include) with `zip -r -6`, then times five
runs of each command, taken in turns within the same run:

    extract test   qzunzip -t (extension mode and --contract), bsdtar -xOf
                   ARCHIVE >/dev/null, unzip -t, 7z t
    extract disk   qzunzip -qo ARCHIVE -d DIR (both modes), bsdtar -xf, unzip, 7z x, each
                   into an empty folder

and prints for each the best (minimum) and the worst (maximum) wall time,
the best processor time (user + system) and the ratio of the best times
qzunzip/bsdtar.  The machine may be shared: the processor time moves less
than the wall time.  With strace installed it then counts the system calls
of one extraction to disk per tool (strace -c -f) and prints them per file
of the archive, with the kinds that cost qzunzip one call a file or more.

Before the figures count, the trees that qzunzip (both modes) and bsdtar
extracted are compared.  Everything happens in a folder below TMPDIR:
TMPDIR=/dev/shm leaves the disk (and whoever else writes to it) out.
"""
import filecmp
import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

RUNS = 5


def need(tool):
    if shutil.which(tool) is None:
        sys.exit("extract_bench: %s is not installed" % tool)


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def timed(cmd, cwd, stdout=subprocess.DEVNULL):
    """Wall and processor seconds of one run of cmd."""
    cpu = children_cpu()
    start = time.perf_counter()
    p = subprocess.run(cmd, cwd=cwd, stdout=stdout, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if p.returncode != 0:
        sys.exit("extract_bench: %s failed with %d:\n%s" % (" ".join(cmd), p.returncode,
                                                           p.stderr.decode(errors="replace")[-2000:]))
    return elapsed, children_cpu() - cpu


def files_below(root):
    return {os.path.relpath(os.path.join(t, f), root): os.path.join(t, f)
            for t, _, fs in os.walk(root) for f in fs}


def same_trees(qz, reference, folding):
    """True when qzunzip's tree holds the reference's files with the same
    contents.  With folding, names are case-insensitive to the library, as
    on Windows: of names that differ only in case it keeps the first and
    declines the others as existing files, so of each such group one file
    is expected."""
    got, want = files_below(qz), files_below(reference)
    groups = {}
    for rel in want:
        groups.setdefault(rel.lower() if folding else rel, []).append(rel)
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
        print("%d names differ from another only in case; qzunzip --contract keeps one of each" % folded)
    return True


def syscalls(cmd, cwd):
    """{kind: calls} of one run of cmd under strace -c -f."""
    summary = os.path.join(cwd, "strace.txt")
    subprocess.run(["strace", "-c", "-f", "-o", summary] + cmd, cwd=cwd, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    calls = {}
    with open(summary) as f:
        for line in f:
            m = re.match(r"\s*[\d.]+\s+[\d.]+\s+\d+\s+(\d+)\s+(?:\d+\s+)?(\w+)\s*$", line)
            if m and m.group(2) != "total":
                calls[m.group(2)] = int(m.group(1))
    os.remove(summary)
    return calls


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    qzunzip = os.path.abspath(sys.argv[1])
    source = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else "/usr/include")
    for tool in ("zip", "bsdtar", "unzip", "7z"):
        need(tool)

    with tempfile.TemporaryDirectory(prefix="qzbench-") as work:
        archive = os.path.join(work, "include.zip")
        parent, base = os.path.split(source)
        subprocess.run(["zip", "-r", "-6", "-q", archive, base], cwd=parent, check=True)
        # zip follows links to folders: the archive may hold more files than
        # the walk of SOURCE_DIR finds.  Calls are counted per file extracted.
        with zipfile.ZipFile(archive) as z:
            files = sum(1 for n in z.namelist() if not n.endswith("/"))
        print("archive: %s, %d files, %.1f MB" % (source, files, os.path.getsize(archive) / 1e6))

        # Every tool runs in the work folder with relative names, as typed by
        # a user there, so that the figures do not depend on the folders
        # above it.
        out = os.path.join(work, "out")
        into = lambda folder: {
            "qzunzip": [qzunzip, "-qo", "include.zip", "-d", folder],
            "qzunzip --contract": [qzunzip, "-qo", "--contract", "include.zip", "-d", folder],
            "bsdtar": ["bsdtar", "-xf", "include.zip", "-C", folder],
            "unzip": ["unzip", "-q", "-o", "include.zip", "-d", folder],
            "7z": ["7z", "x", "-y", "-o" + folder, "include.zip"],
        }
        disk = into("out")
        test = {
            "qzunzip": [qzunzip, "-q", "-t", "include.zip"],
            "qzunzip --contract": [qzunzip, "-q", "-t", "--contract", "include.zip"],
            "bsdtar": ["bsdtar", "-xOf", "include.zip"],
            "unzip": ["unzip", "-q", "-t", "include.zip"],
            "7z": ["7z", "t", "include.zip"],
        }

        # The copies must agree before their times mean anything.
        for name in ("qzunzip", "qzunzip --contract", "bsdtar"):
            folder = "check-" + name.replace(" ", "")
            os.makedirs(os.path.join(work, folder))
            subprocess.run(into(folder)[name], cwd=work, check=True, stdout=subprocess.DEVNULL)
        reference = os.path.join(work, "check-bsdtar", base)
        for name, folding in (("qzunzip", False), ("qzunzip --contract", True)):
            tree = os.path.join(work, "check-" + name.replace(" ", ""), base)
            if not same_trees(tree, reference, folding):
                sys.exit("extract_bench: %s and bsdtar extracted different trees" % name)
        for name in ("qzunzip", "qzunzip--contract", "bsdtar"):
            shutil.rmtree(os.path.join(work, "check-" + name))

        runs = {(kind, n): [] for kind, cmds in (("test", test), ("disk", disk)) for n in cmds}
        for _ in range(RUNS):
            for name, cmd in test.items():
                runs["test", name].append(timed(cmd, work))
            for name, cmd in disk.items():
                os.makedirs(out)
                runs["disk", name].append(timed(cmd, work))
                shutil.rmtree(out)

        for kind in ("test", "disk"):
            reference = min(w for w, _ in runs[kind, "bsdtar"])
            for name in test:
                walls = [w for w, _ in runs[kind, name]]
                print("extract %s: %-19s best %5.2f s  max %5.2f s  cpu %5.2f s  /bsdtar %.2f"
                      % (kind, name, min(walls), max(walls), min(c for _, c in runs[kind, name]),
                         min(walls) / reference))

        if shutil.which("strace") is None:
            print("system calls: strace is not installed")
            return
        for name, cmd in disk.items():
            os.makedirs(out)
            calls = syscalls(cmd, work)
            shutil.rmtree(out)
            total = sum(calls.values())
            line = "system calls per file, extract disk: %-19s %6.1f" % (name, total / files)
            if name.startswith("qzunzip"):
                kinds = sorted((n for n in calls.items() if n[1] >= files), key=lambda n: -n[1])
                line += "  (" + ", ".join("%s %.1f" % (k, c / files) for k, c in kinds) + ")"
            print(line)


if __name__ == "__main__":
    main()
