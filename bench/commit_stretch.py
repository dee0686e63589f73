#!/usr/bin/env python3
"""How long an update keeps the program directory mixed: the real updater applies an archive of
N small files, each replacing a file of the old tree, on a directory on disk, with a small
preloaded library that notes the monotonic time and paths of every rename it makes (one write
per rename; strace's stops cost more than a rename on a loaded machine); the stretch runs from
the first to the last rename that moves a file into or out of the program tree (the staging and
backup directories and the journal do not count as the program tree). Also the whole run's wall
time.

Usage: commit_stretch.py WORK_DIR RUNS COUNTS UPDATER [UPDATER...]
Prints, per updater and count, the median over RUNS runs of: the stretch, the renames it spans,
the time per rename, the median gap between two renames, and the stalls (the sum of the gaps
over 1 ms: on a loaded machine mostly the time the updater waited for a core).
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

OWN = (".update-staging/", ".update-backup/", ".update-journal")
PROGRAM = "prog"
# A gap between two renames longer than this is the process waiting for a core or the disk
# (a flush), not the work of a rename.
STALL = 0.001
# Notes "<seconds> <from>\t<to>" for every rename that succeeded, into $RENAME_LOG.
SHIM = r"""
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>
static void note(const char* from, const char* to) {
  static int fd = -2;
  if (fd == -2) {
    const char* path = getenv("RENAME_LOG");
    fd = path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
  }
  if (fd < 0) return;
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  char line[8192];
  int n = snprintf(line, sizeof line, "%ld.%09ld %s\t%s\n", (long)now.tv_sec, now.tv_nsec,
                   from, to);
  if (n > 0 && n < (int)sizeof line) (void)!write(fd, line, n);
}
int rename(const char* from, const char* to) {
  static int (*real)(const char*, const char*);
  if (!real) real = dlsym(RTLD_NEXT, "rename");
  int result = real(from, to);
  if (result == 0) note(from, to);
  return result;
}
int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
  static int (*real)(int, const char*, int, const char*, unsigned);
  if (!real) real = dlsym(RTLD_NEXT, "renameat2");
  int result = real(fromDir, from, toDir, to, flags);
  if (result == 0) note(from, to);
  return result;
}
"""


def build_shim(root):
    source = os.path.join(root, "rename_note.c")
    library = os.path.join(root, "rename_note.so")
    with open(source, "w") as out:
        out.write(SHIM)
    subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-o", library, source, "-ldl"], check=True)
    return library


def prepare(app, count):
    shutil.rmtree(app, ignore_errors=True)
    os.makedirs(app)
    with open(os.path.join(app, PROGRAM), "w") as script:
        script.write("#!/bin/sh\nexit 0\n")
    os.chmod(os.path.join(app, PROGRAM), 0o755)
    names = [f"{('', 'lib/', 'data/', 'data/deep/')[i % 4]}file{i:05}.dat" for i in range(count)]
    for name in names:
        os.makedirs(os.path.dirname(os.path.join(app, name)), exist_ok=True)
        with open(os.path.join(app, name), "wb") as out:
            out.write(b"old " + name.encode() * 8)
    with zipfile.ZipFile(os.path.join(app, "update.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
        for name in names:
            archive.writestr(name, b"new " + name.encode() * 8)
    with open(os.path.join(app, "uplog.txt"), "w") as handover:
        handover.write(PROGRAM + "\n")


def in_program_tree(app, path):
    if not path.startswith(app + "/"):
        return False
    relative = path[len(app) + 1:]
    return not relative.startswith(OWN)


def run_once(updater, root, count, shim):
    app = os.path.join(root, "program")
    runtime = os.path.join(root, "runtime")
    os.makedirs(runtime, exist_ok=True)
    prepare(app, count)
    shutil.copy(updater, os.path.join(app, "update"))
    trace = os.path.join(root, "renames.txt")
    if os.path.exists(trace):
        os.remove(trace)
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env.update(XDG_RUNTIME_DIR=runtime, LD_PRELOAD=shim, RENAME_LOG=trace)
    began = time.perf_counter()
    status = subprocess.run([os.path.join(app, "update")], cwd="/", env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    wall = time.perf_counter() - began
    if status != 0 or os.path.exists(os.path.join(app, "update.zip")):
        sys.exit(f"{updater}: the update of {count} files failed (status {status})")
    moments = []
    with open(trace) as lines:
        for line in lines:
            moment, _, paths = line.rstrip("\n").partition(" ")
            if any(in_program_tree(app, p) for p in paths.split("\t")):
                moments.append(float(moment))
    shutil.rmtree(app, ignore_errors=True)
    gaps = [b - a for a, b in zip(moments, moments[1:])]
    stalls = sum(gap for gap in gaps if gap > STALL)
    return moments[-1] - moments[0], len(moments), wall, statistics.median(gaps), stalls


def main():
    root, runs, counts, updaters = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4:]
    os.makedirs(root, exist_ok=True)
    shim = build_shim(root)
    print(f"{'updater':40} {'files':>6} {'renames':>8} {'stretch s':>10} {'us/rename':>10}"
          f" {'gap us':>8} {'stalls s':>9} {'whole run s':>12}")
    try:
        for count in [int(c) for c in counts.split()]:
            for updater in updaters:
                results = [run_once(updater, root, count, shim) for _ in range(runs)]
                stretch = statistics.median(r[0] for r in results)
                renames = results[0][1]
                wall = statistics.median(r[2] for r in results)
                gap = statistics.median(r[3] for r in results)
                stalls = statistics.median(r[4] for r in results)
                print(f"{updater[-40:]:40} {count:>6} {renames:>8} {stretch:>10.4f}"
                      f" {stretch / max(renames - 1, 1) * 1e6:>10.1f} {gap * 1e6:>8.1f}"
                      f" {stalls:>9.3f} {wall:>12.2f}", flush=True)
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
