#!/usr/bin/env bash
# Extracts an archive of shrunk and imploded entries (made by make_older_corpus, checked with
# `unzip -t` and, when it is built, `unzipper t`) with `unzipper x` and Info-ZIP unzip, and prints
# the median MB/s of output of each, for the whole archive and per method.
# Usage: bench/older_methods.sh [BUILD_DIR]. Environment: RUNS (default 7), CORPORA_DIR (default
# /dev/shm/update-bench), OUT_DIR (default /dev/shm/update-bench-out, removed at the end),
# UNZIPPER (default BUILD_DIR/tools/unzipper).
set -euo pipefail
source "$(dirname "$0")/bench_paths.sh"
archive=$corpora_dir/older.zip

[ -x "$build/bench/make_older_corpus" ] || {
  echo "older_methods.sh: build $build/bench/make_older_corpus first" >&2
  exit 1
}
mkdir -p "$corpora_dir"
if [ ! -f "$archive" ]; then
  "$build/bench/make_older_corpus" "$archive.part"
  mv "$archive.part" "$archive"
fi
unzip -tq "$archive" >/dev/null || { echo "older_methods.sh: unzip -t rejects $archive" >&2; exit 1; }
if [ -x "$unzipper" ]; then
  "$unzipper" t "$archive" >/dev/null || {
    echo "older_methods.sh: unzipper t rejects $archive" >&2
    exit 1
  }
else
  echo "older_methods.sh: no $unzipper; measuring unzip only" >&2
fi
trap 'rm -rf "$out_dir"' EXIT

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) before the runs"
RUNS=${RUNS:-7} python3 "$root/bench/older_methods_runs.py" "$archive" "$out_dir" "$unzipper"
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) after the runs"
