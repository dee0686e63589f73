#!/usr/bin/env bash
# Extracts each corpus of bench/make_corpora.py on tmpfs with `unzipper x`, Info-ZIP unzip, bsdtar,
# 7zz and (stored and deflated corpora) minimal_extract, several times each, and prints the median
# wall, user and system seconds, the peak RSS and the ratios. Usage: bench/extraction.sh [BUILD_DIR]
# Environment: RUNS (default 5), CORPORA_DIR (default /dev/shm/update-bench), CORPORA (names,
# default all), OUT_DIR (default /dev/shm/update-bench-out, removed at the end), UNZIPPER (the
# binary to measure, default BUILD_DIR/tools/unzipper).
set -euo pipefail
source "$(dirname "$0")/bench_paths.sh"
minimal=$build/bench/minimal_extract

for tool in unzip bsdtar 7zz python3; do
  command -v "$tool" >/dev/null || { echo "extraction.sh: $tool is missing" >&2; exit 1; }
done
[ -x "$minimal" ] || { echo "extraction.sh: build $minimal first" >&2; exit 1; }
[ -x "$unzipper" ] || echo "extraction.sh: no $unzipper; measuring the others only" >&2

python3 "$root/bench/make_corpora.py" "$corpora_dir" ${CORPORA:-}
trap 'rm -rf "$out_dir"' EXIT

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) before the runs"
RUNS=${RUNS:-5} python3 "$root/bench/extraction_runs.py" "$corpora_dir" "$out_dir" "$unzipper" \
  "$minimal" ${CORPORA:-}
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) after the runs"
