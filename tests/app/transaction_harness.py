#!/usr/bin/env python3
"""Kills and faults against a real update: the program directory must always be wholly old or
wholly new, and one more run of the updater must end with the new tree, the archive gone and the
main program started.

  kill   --count N [--seed S] [--jobs J]  kills the updater (SIGKILL) at N random moments of a
                                          run; a third of the following recovery runs are
                                          killed too (first, one whole run with a stale
                                          main.exe beside the program and a directory entry
                                          with a mode of its own)
  faults [--jobs J]                       fails the n-th write, rename and flush (every n up to
                                          the last one a run makes) as a full disk would

Usage: transaction_harness.py UPDATER CHILD_PROGRAM MODE [options]
Exit status 0 when every point ended well; a line per failure otherwise.
"""
import argparse
import collections
import concurrent.futures
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

OWN_PREFIX = ".update-"
# The one file of the updater's own that stays by design: the program directory's lock file.
KEPT_OWN_FILES = {".update-lock"}
UPDATER_FILES = {"update", "update.zip", "uplog.txt", "update.log", "update.result"}

# Points are laid out and started from several threads. A child forked while another thread
# holds a file open for writing inherits that descriptor until it execs, and an exec of that
# file then fails with "Text file busy": the writing of a point's files and the starts take
# turns.
FILES_AND_STARTS = threading.Lock()

# How long the harness waits for a process to do what it expects (the restarted program's
# record): a bound for one that never will, generous for a machine busy with other work.
PROCESS_WAIT = 180


def wait_for(condition):
    """Polls `condition` until it holds or PROCESS_WAIT seconds have passed; its last answer."""
    deadline = time.monotonic() + PROCESS_WAIT
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def make_trees(child_program, seed, files):
    """The old program directory and the archive of a real update (some files changed, some new,
    new directories, a new main program delivered as main.exe); returns (old, archive, new)."""
    rng = random.Random(seed)
    program = open(child_program, "rb").read()
    old = {"PROGRAM": program}
    for index in range(files):
        folder = ("", "lib/", "data/", "data/deep/")[index % 4]
        old[f"{folder}file{index:02}.dat"] = rng.randbytes(rng.randrange(200, 120_000))
    archive = {}
    for index, name in enumerate(sorted(old)):
        if name != "PROGRAM" and index % 3 != 0:
            archive[name] = old[name][: len(old[name]) // 2] + rng.randbytes(1000)
    for index in range(max(files // 3, 1)):
        archive[f"{('new/', 'lib/', 'new/sub/')[index % 3]}added{index:02}.dat"] = rng.randbytes(
            rng.randrange(100, 60_000))
    archive["main.exe"] = program + b"new build"  # still runs: the end is never read
    new = dict(old)
    new.update(archive)
    new["PROGRAM"] = new.pop("main.exe")
    return old, archive, new


class Point:
    """One program directory of its own, with a runtime directory (and so a guard) of its own."""

    def __init__(self, root, tag, updater, trees):
        with FILES_AND_STARTS:
            self.lay_out(root, tag, updater, trees)

    def lay_out(self, root, tag, updater, trees):
        self.dir = os.path.join(root, tag)
        self.program = f"prog-{tag}-{os.getpid()}.bin"
        self.old, self.archive, self.new = trees
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(os.path.join(self.dir, "program"))
        os.makedirs(os.path.join(self.dir, "runtime"))
        self.app = os.path.join(self.dir, "program")
        shutil.copy(updater, os.path.join(self.app, "update"))
        for name, data in self.old.items():
            self.write(self.rename(name), data)
        os.chmod(os.path.join(self.app, self.program), 0o755)
        with zipfile.ZipFile(os.path.join(self.app, "update.zip"), "w") as archive:
            for name, data in sorted(self.archive.items()):
                method = zipfile.ZIP_STORED if len(name) % 2 else zipfile.ZIP_DEFLATED
                archive.writestr(name, data, compress_type=method)
        self.write("uplog.txt", (self.program + "\n").encode())

    def rename(self, name):
        return self.program if name == "PROGRAM" else name

    def write(self, name, data):
        path = os.path.join(self.app, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)

    def expected(self, tree):
        return {self.rename(name): data for name, data in tree.items()}

    def tree(self):
        """Files and their bytes; directories as names ending in "/" (our own names left out)."""
        found = {}
        for folder, dirs, files in os.walk(self.app):
            relative = os.path.relpath(folder, self.app)
            prefix = "" if relative == "." else relative.replace(os.sep, "/") + "/"
            if prefix.startswith(OWN_PREFIX):
                continue
            for name in dirs:
                if not (prefix + name).startswith(OWN_PREFIX):
                    found[prefix + name + "/"] = None
            for name in files:
                path = prefix + name
                if path.startswith(OWN_PREFIX) or path in UPDATER_FILES:
                    continue
                with open(os.path.join(folder, name), "rb") as data:
                    found[path] = data.read()
        return found

    def with_dirs(self, tree):
        full = dict(tree)
        for name in tree:
            parts = name.split("/")[:-1]
            for depth in range(1, len(parts) + 1):
                full["/".join(parts[:depth]) + "/"] = None
        return full

    def journal_state(self):
        try:
            with open(os.path.join(self.app, OWN_PREFIX + "journal"), encoding="utf-8") as text:
                for line in text:
                    if line.startswith("state "):
                        return line.split()[1]
        except OSError:
            pass
        return "none"

    def start(self, environment=None):
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        env.update(XDG_RUNTIME_DIR=os.path.join(self.dir, "runtime"),
                   UPDATE_CHILD_RECORD=os.path.join(self.dir, "restart.txt"))
        env.update(environment or {})
        with FILES_AND_STARTS:
            return subprocess.Popen([os.path.join(self.app, "update")], cwd="/", env=env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def run(self, environment=None, kill_after=None, once=None):
        """Runs the updater; when `kill_after` is given it is killed that many seconds after the
        start, or after `once()` first comes true; (status, stderr)."""
        process = self.start(environment)
        if kill_after is not None:
            while once is not None and process.poll() is None and not once():
                time.sleep(0.001)
            try:
                process.wait(kill_after)
            except subprocess.TimeoutExpired:
                process.send_signal(signal.SIGKILL)
        _, errors = process.communicate(timeout=PROCESS_WAIT)
        return process.returncode, errors.decode("utf-8", "replace")

    def whole(self):
        """'old', 'new', or None when the tree is neither."""
        tree = self.tree()
        if tree == self.with_dirs(self.expected(self.old)):
            return "old"
        if tree == self.with_dirs(self.expected(self.new)):
            return "new"
        return None

    def finish(self):
        """One more run without a kill: the new tree, no archive, the program started."""
        restart = os.path.join(self.dir, "restart.txt")
        if os.path.exists(restart):
            os.remove(restart)
        status, errors = self.run()
        problems = []
        if status != 0:
            problems.append(f"last run status {status}: {errors.strip()}")
        if self.whole() != "new":
            problems.append("last run did not leave the new tree")
        if os.path.exists(os.path.join(self.app, "update.zip")):
            problems.append("last run kept update.zip")
        wait_for(lambda: os.path.exists(restart))
        if not os.path.exists(restart) or open(restart).read() != "-start\n":
            problems.append("the main program was not started again with -start")
        leftovers = [n for n in os.listdir(self.app)
                     if n.startswith(OWN_PREFIX) and n not in KEPT_OWN_FILES]
        if leftovers:
            problems.append(f"left behind: {leftovers}")
        return problems


def measure(root, updater, trees):
    point = Point(root, "measure", updater, trees)
    began = time.monotonic()
    status, errors = point.run()
    if status != 0 or point.whole() != "new":
        sys.exit(f"a run without a kill failed (status {status}): {errors}")
    return time.monotonic() - began


def stale_main_point(root, updater, trees):
    """A run over a program directory that holds a stale main.exe beside the program, with an
    archive that delivers a new one and brings "lib/" as an entry of mode 0750: the delivered
    program is the one in place and started, the stale one is gone, "lib" has the archive's
    mode. A list of problems."""
    old, archive, new = trees
    old = dict(old)
    old["main.exe"] = old["PROGRAM"] + b"stale build"
    point = Point(root, "stale", updater, (old, archive, new))
    with zipfile.ZipFile(os.path.join(point.app, "update.zip"), "a") as zipped:
        entry = zipfile.ZipInfo("lib/")
        entry.external_attr = (0o40750 << 16) | 0x10
        zipped.writestr(entry, b"")
    status, errors = point.run()
    problems = []
    if status != 0:
        problems.append(f"status {status}: {errors.strip()}")
    if point.whole() != "new":
        left = point.tree()
        problems.append("the delivered program is not the one in place" if
                        left.get(point.program) != new["PROGRAM"] else "not the new tree")
    mode = os.stat(os.path.join(point.app, "lib")).st_mode & 0o777
    if mode != 0o750:
        problems.append(f"lib has mode {mode:o}, not the archive's 750")
    restart = os.path.join(point.dir, "restart.txt")
    if not wait_for(lambda: os.path.exists(restart)):
        problems.append("the main program was not started")
    shutil.rmtree(point.dir, ignore_errors=True)
    return [f"stale main.exe: {p}" for p in problems]


def kill_point(root, updater, trees, index, seed, duration):
    rng = random.Random(f"{seed}-{index}")
    point = Point(root, f"k{index}", updater, trees)
    # Anywhere in the run (whose first second is the timer's wait), during the extraction, or
    # during the commit: each as often.
    staging = os.path.join(point.app, OWN_PREFIX + "staging")
    phase = ("anywhere", "extracting", "committing")[index % 3]
    if phase == "anywhere":
        moment, once = rng.uniform(0.0, duration), None
    elif phase == "extracting":
        moment, once = rng.uniform(0.0, 0.2), lambda: os.path.isdir(staging)
    else:
        moment, once = rng.uniform(0.0, 0.1), lambda: point.journal_state() == "committing"
    status, errors = point.run(kill_after=moment, once=once)
    state = point.journal_state()
    outcome = point.whole()
    problems = []
    # Mixed only while the journal says a commit or roll-back is under way: the next start
    # finishes it before anything else.
    if outcome is None and state not in ("committing", "rolling-back"):
        problems.append(f"killed {moment:.3f} s into {phase}: neither old nor new "
                        f"(journal {state})")
    landed = f"{state}/{outcome or 'mixed'}" if status == -signal.SIGKILL else "finished"
    if status not in (0, -signal.SIGKILL):
        problems.append(f"status {status}: {errors.strip()}")
    if status == -signal.SIGKILL and rng.random() < 1 / 3:
        # Killed again, during the recovery or soon after.
        point.run(kill_after=rng.uniform(0.0, 0.3))
        if point.whole() is None and point.journal_state() not in ("committing", "rolling-back"):
            problems.append("killed during recovery: neither old nor new")
    if status != -signal.SIGKILL or os.path.exists(os.path.join(point.dir, "restart.txt")):
        # The run started the program: the program hands over anew for the next update.
        point.write("uplog.txt", (point.program + "\n").encode())
    problems += point.finish()
    shutil.rmtree(point.dir, ignore_errors=True)
    return landed, [f"kill point {index}: {p}" for p in problems]


def fault_point(root, updater, trees, kind, number):
    point = Point(root, f"{kind}{number}", updater, trees)
    record = os.path.join(point.dir, "fault.txt")
    status, errors = point.run({"UPDATE_INJECT_FAULT": f"{kind}:{number}:disk-full",
                                "UPDATE_INJECT_FAULT_RECORD": record})
    struck = os.path.exists(record)
    outcome = point.whole()
    problems = []
    # 0 when the update was applied all the same, 1 when it was not.
    if status != (0 if outcome == "new" else 1):
        problems.append(f"status {status} with the {outcome} tree: {errors.strip()}")
    if outcome is None:
        problems.append(f"neither old nor new (journal {point.journal_state()})")
    if outcome == "old":
        if not errors.strip():
            problems.append(f"no error shown: {errors.strip()!r}")
        if not os.path.exists(os.path.join(point.app, "update.zip")):
            problems.append("update.zip was deleted")
    if struck:
        # The run went through (with its error or not): the program hands over anew.
        point.write("uplog.txt", (point.program + "\n").encode())
        problems += point.finish()
    shutil.rmtree(point.dir, ignore_errors=True)
    return struck, outcome, [f"{kind} #{number}: {p}" for p in problems]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("updater")
    parser.add_argument("child_program")
    parser.add_argument("mode", choices=["kill", "faults"])
    parser.add_argument("--count", type=int, default=20)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=4)
    parser.add_argument("--files", type=int, default=40, help="files of the old tree")
    args = parser.parse_args()
    trees = make_trees(args.child_program, args.seed, args.files)
    root = tempfile.mkdtemp(prefix="update-harness-")
    failures = []
    try:
        pool = concurrent.futures.ThreadPoolExecutor(args.jobs)
        if args.mode == "kill":
            duration = measure(root, args.updater, trees)
            print(f"a whole run takes {duration:.2f} s")
            failures += stale_main_point(root, args.updater, trees)
            futures = [pool.submit(kill_point, root, args.updater, trees, i, args.seed,
                                   duration * 1.1) for i in range(args.count)]
            landed = collections.Counter()
            for future in futures:
                where, problems = future.result()
                landed[where] += 1
                failures += problems
            print(f"{args.count} kill points; where they landed (journal/tree):")
            for where, count in sorted(landed.items()):
                print(f"  {where}: {count}")
        else:
            total = 0
            for kind in ("write", "rename", "flush"):
                outcomes = collections.Counter()
                number = 1
                while True:
                    batch = [pool.submit(fault_point, root, args.updater, trees, kind, n)
                             for n in range(number, number + args.jobs)]
                    struck = [r for r in (future.result() for future in batch) if r[0]]
                    for _, outcome, problems in struck:
                        outcomes[outcome or "mixed"] += 1
                        failures += problems
                    if len(struck) < args.jobs:
                        break
                    number += args.jobs
                count = sum(outcomes.values())
                total += count
                print(f"{kind}: faults 1 to {count}; the run left the old tree {outcomes['old']}"
                      f" times, the new tree {outcomes['new']} times")
            print(f"{total} faults injected")
    finally:
        shutil.rmtree(root, ignore_errors=True)
    for failure in failures:
        print("FAILED:", failure)
    print("passed" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
