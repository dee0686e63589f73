# The measuring part of bench/extraction.sh: extracts each corpus with every tool RUNS times
# (environment) and prints the medians. Usage: extraction_runs.py CORPORA_DIR OUT_DIR UNZIPPER
# MINIMAL [NAME...]
import os, shutil, statistics, sys, zipfile

sys.dont_write_bytecode = True  # nothing lands in the source tree
from timing import failure_text, measure, remove_scratch, tree_summary

corpora_dir, out, unzipper, minimal = sys.argv[1:5]
names = sys.argv[5:] or ["app", "big", "stored", "small", "aes", "zipcrypto"]
runs = int(os.environ["RUNS"])
password = "SECRET"
encrypted = {"aes", "zipcrypto"}


def commands(archive, enc):
    pw = lambda *flag: list(flag) if enc else []
    tools = []
    if os.access(unzipper, os.X_OK):
        tools.append(("unzipper", [unzipper, "x", "-o", "always", "-d", out] + pw("-p", password)
                      + [archive]))
    tools += [
        ("unzip", ["unzip", "-qo"] + pw("-P", password) + [archive, "-d", out]),
        ("bsdtar", ["bsdtar", "-xf", archive, "-C", out] + pw("--passphrase", password)),
        ("7zz", ["7zz", "x", "-y", "-o" + out] + pw("-p" + password) + [archive]),
    ]
    if not enc:
        tools.append(("minimal", [minimal, archive, out]))
    return tools


def expected_summary(archive):
    with zipfile.ZipFile(archive) as z:
        infos = [i for i in z.infolist() if not i.is_dir()]
    return len(infos), sum(i.file_size for i in infos)


def fresh_out():
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)


print(f"median of {runs} runs on tmpfs; ratio = tool's wall / unzipper's wall; cpu ratio = the"
      " same for user + system time (steadier under load)")
if not os.access("/usr/bin/time", os.X_OK):
    print("no /usr/bin/time: peak RSS includes the forking Python interpreter's own (~10-30 MB)")
print(f"{'corpus':10} {'tool':9} {'wall s':>8} {'user s':>8} {'sys s':>8} {'peak RSS':>10}"
      f" {'ratio':>7} {'cpu ratio':>9}")
for name in names:
    archive = os.path.join(corpora_dir, name + ".zip")
    enc = name in encrypted
    tools = commands(archive, enc)
    expected = expected_summary(archive)
    results = {tool: [] for tool, _ in tools}
    failed = {}
    for run in range(runs):
        for tool, argv in tools:  # interleaved, so that a change of load hits every tool alike
            if tool in failed:
                continue
            fresh_out()
            rc, *numbers = measure(argv, out)
            if rc != 0:
                failed[tool] = failure_text(out, rc)
                continue
            if run == 0 and tree_summary(out) != expected:
                failed[tool] = f"wrong output {tree_summary(out)}, expected {expected}"
                continue
            results[tool].append(numbers)
    medians = {t: [statistics.median(col) for col in zip(*r)] for t, r in results.items() if r}
    base = medians.get("unzipper")
    for tool, _ in tools:
        if tool in failed:
            print(f"{name:10} {tool:9} failed: {failed[tool]}")
            continue
        wall, user, system, rss = medians[tool]
        ratio = f"{wall / base[0]:7.2f} {(user + system) / (base[1] + base[2]):9.2f}" if base else ""
        print(f"{name:10} {tool:9} {wall:8.3f} {user:8.3f} {system:8.3f} {rss / 1024:7.1f} MB"
              f" {ratio}")
    if base and "minimal" in medians:
        m = medians["minimal"]
        print(f"{name:10} unzipper/minimal: {base[0] / m[0]:.2f} (wall),"
              f" {(base[1] + base[2]) / (m[1] + m[2]):.2f} (user + system)")
    sys.stdout.flush()
shutil.rmtree(out, ignore_errors=True)
remove_scratch(out)
