# The measuring part of bench/older_methods.sh: extracts the archive of the older methods (all of
# it, then the shrunk and the imploded entries) with every tool RUNS times (environment) and
# prints the median MB/s. Usage: older_methods_runs.py ARCHIVE OUT_DIR UNZIPPER
import fnmatch, os, shutil, statistics, sys, zipfile

sys.dont_write_bytecode = True  # nothing lands in the source tree
from timing import failure_text, measure, remove_scratch, tree_summary

archive, out, unzipper = sys.argv[1:4]
runs = int(os.environ["RUNS"])
with zipfile.ZipFile(archive) as z:
    infos = z.infolist()
# Patterns without a folder separator: both tools then match them against the whole path.
subsets = [("all", None), ("shrunk", "*shrunk*"), ("imploded", "*imploded*")]

print(f"median of {runs} runs on tmpfs; MB/s = uncompressed output (MB = 2^20 bytes) / wall"
      " time, and / user + system time (steadier under load)")
print(f"{'entries':9} {'tool':9} {'MB out':>7} {'wall s':>7} {'user s':>7} {'sys s':>7}"
      f" {'MB/s':>7} {'MB/cpu s':>8}")
for subset, pattern in subsets:
    chosen = [i for i in infos if pattern is None or fnmatch.fnmatchcase(i.filename, pattern)]
    expected = (len(chosen), sum(i.file_size for i in chosen))
    patterns = [pattern] if pattern else []
    tools = []
    if os.access(unzipper, os.X_OK):
        tools.append(("unzipper", [unzipper, "x", "-o", "always", "-d", out, archive] + patterns))
    tools.append(("unzip", ["unzip", "-qo", archive] + patterns + ["-d", out]))
    results = {tool: [] for tool, _ in tools}
    failed = {}
    for run in range(runs):
        for tool, argv in tools:
            if tool in failed:
                continue
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            rc, *numbers = measure(argv, out)
            if rc != 0:
                failed[tool] = failure_text(out, rc)
            elif run == 0 and tree_summary(out) != expected:
                failed[tool] = f"wrong output {tree_summary(out)}, expected {expected}"
            else:
                results[tool].append(numbers)
    megabytes = expected[1] / (1 << 20)
    for tool, _ in tools:
        if tool in failed:
            print(f"{subset:9} {tool:9} failed: {failed[tool]}")
            continue
        wall, user, system, _ = [statistics.median(col) for col in zip(*results[tool])]
        print(f"{subset:9} {tool:9} {megabytes:7.1f} {wall:7.3f} {user:7.3f} {system:7.3f}"
              f" {megabytes / wall:7.1f} {megabytes / (user + system):8.1f}")
    sys.stdout.flush()
shutil.rmtree(out, ignore_errors=True)
remove_scratch(out)
