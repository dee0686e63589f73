# Shared by the benchmark scripts: runs a command once and measures it, and sums up the files
# that an extraction left behind.
import os
import subprocess
import time


def measure(argv, scratch):
    """Runs argv once with its output thrown away and its stderr kept in scratch + ".stderr";
    answers (exit status, wall s, user s, system s, peak RSS KB)."""
    # The peak RSS comes from /usr/bin/time: a child forked from this Python process would
    # carry the interpreter's own high-water mark through exec.
    have_time = os.access("/usr/bin/time", os.X_OK)
    timer = ["/usr/bin/time", "-f", "%M", "-o", scratch + ".rss"] if have_time else []
    with open(os.devnull, "wb") as null, open(scratch + ".stderr", "wb") as err:
        start = time.perf_counter()
        child = subprocess.Popen(timer + argv, stdin=subprocess.DEVNULL, stdout=null, stderr=err)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    rss = usage.ru_maxrss
    if have_time and child.returncode == 0:
        with open(scratch + ".rss") as f:
            rss = int(f.read().split()[-1])
    return child.returncode, wall, usage.ru_utime, usage.ru_stime, rss


def failure_text(scratch, rc):
    with open(scratch + ".stderr", errors="replace") as f:
        message = " ".join(f.read().split())[:70]
    return f"exit {rc}: {message or '(nothing on stderr)'}"


def remove_scratch(scratch):
    for leftover in (scratch + ".stderr", scratch + ".rss"):
        if os.path.exists(leftover):
            os.remove(leftover)


def tree_summary(path):
    """(number of files, their total size) below path."""
    files = size = 0
    for dirpath, _, filenames in os.walk(path):
        for f in filenames:
            files += 1
            size += os.path.getsize(os.path.join(dirpath, f))
    return files, size
