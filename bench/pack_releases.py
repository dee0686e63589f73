#!/usr/bin/env python3
# Packs a realistic pair of releases with update-pack: the application tree of make_corpora.py
# (5,000 files of 150 MB) as release 1.0, and release 1.1 with 5% of its files changed, 25 added
# and 25 removed. Prints the size of the changes-only package against the full one and the
# packer's speed (median of RUNS runs each). Usage: bench/pack_releases.py [BUILD_DIR]
# Environment: RUNS (default 3), FILES and MB (the tree's size, default 5000 and 150), OUT_DIR
# (default /dev/shm/update-pack-bench, removed at the end).
import os
import random
import shutil
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_corpora  # noqa: E402
import timing  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TIME = 1709294400  # 2024-03-01 12:00 UTC: every file alike, so the runs pack the same bytes


def write_release(root, files, gen):
    for name, kind, size in files:
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(gen.mixed(kind, size))


def stamp(root):
    for dirpath, _, filenames in os.walk(root):
        for name in filenames:
            os.utime(os.path.join(dirpath, name), (TIME, TIME))


def make_pair(out, count, total):
    """Release 1.0 in out/old (with its record), 1.1 in out/new; answers what changed."""
    gen = make_corpora.Generator(1)
    files = make_corpora.tree_files(gen, count, total)
    old, new = os.path.join(out, "old"), os.path.join(out, "new")
    write_release(old, files, gen)
    with open(os.path.join(old, ".update-release"), "w") as f:
        f.write("update-release 1\nproduct bench-app\nversion 1.0\n")
    shutil.copytree(old, new, ignore=shutil.ignore_patterns(".update-release"))
    rng = random.Random(7)
    picked = rng.sample(files, len(files) * 5 // 100 + 25)
    changed, removed = picked[:len(files) * 5 // 100], picked[len(files) * 5 // 100:]
    write_release(new, changed, gen)
    for name, _, _ in removed:
        os.remove(os.path.join(new, name))
    added = []
    for i, (name, kind, size) in enumerate(rng.sample(files, 25)):
        added.append((f"app/added/new{i:03d}.{name.rsplit('.', 1)[1]}", kind, size))
    write_release(new, added, gen)
    stamp(old)
    stamp(new)
    return len(changed), len(added), len(removed)


def run_pack(argv, output, runs, scratch):
    walls, cpus = [], []
    for _ in range(runs):
        if os.path.exists(output):
            os.remove(output)
        rc, wall, user, system, _ = timing.measure(argv + ["-o", output], scratch)
        if rc != 0:
            sys.exit(f"pack_releases.py: {' '.join(argv)}: {timing.failure_text(scratch, rc)}")
        walls.append(wall)
        cpus.append(user + system)
    timing.remove_scratch(scratch)
    return statistics.median(walls), statistics.median(cpus), os.path.getsize(output)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
    pack = os.path.join(build, "tools", "update-pack")
    if not os.access(pack, os.X_OK):
        sys.exit(f"pack_releases.py: build {pack} first")
    out = os.environ.get("OUT_DIR", "/dev/shm/update-pack-bench")
    runs = int(os.environ.get("RUNS", "3"))
    count = int(os.environ.get("FILES", "5000"))
    total = int(os.environ.get("MB", "150")) * make_corpora.MB
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    try:
        changed, added, removed = make_pair(out, count, total)
        _, tree_bytes = timing.tree_summary(os.path.join(out, "new"))
        make = [pack, "make", "--product", "bench-app", "--version", "1.1"]
        new = os.path.join(out, "new")
        scratch = os.path.join(out, "run")
        full = run_pack(make + [new], os.path.join(out, "full.zip"), runs, scratch)
        diff = run_pack(make + ["--from", os.path.join(out, "old"), new],
                        os.path.join(out, "diff.zip"), runs, scratch)
        shown = subprocess.run([pack, "show", os.path.join(out, "diff.zip")], capture_output=True,
                               text=True)
        removals = shown.stdout.count("\n  remove ")
        if shown.returncode != 0 or removals != removed:
            sys.exit(f"pack_releases.py: the changes-only package is not as made:\n{shown.stdout}"
                     f"{shown.stderr}")
        mb = 1 << 20
        print(f"machine: {os.cpu_count()} cores, load average "
              f"{' '.join(open('/proc/loadavg').read().split()[:3])}")
        print(f"release 1.1: {count - removed + added} files, {tree_bytes / mb:.1f} MB; "
              f"{changed} changed, {added} added, {removed} removed since 1.0")
        for name, (wall, cpu, size) in (("full", full), ("changes only", diff)):
            print(f"{name:>13}: {size / mb:7.1f} MB ({100 * size / full[2]:5.1f}% of full), "
                  f"median {wall:.2f} s wall, {cpu:.2f} s cpu; the release tree at "
                  f"{tree_bytes / mb / wall:.0f} MB/s wall, {tree_bytes / mb / cpu:.0f} MB/s cpu")
    finally:
        shutil.rmtree(out, ignore_errors=True)


if __name__ == "__main__":
    main()
