#!/usr/bin/env bash
# Reads the directory of an archive with 100,000 entries with the component, `unzip -l` and
# `7zz l`, and prints the median wall time of each. Usage: bench/directory_listing.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$root/bench/many_entries_archive.py" "$work/many.zip"
median() {  # runs a command 7 times, prints the median wall time in ms
  local times=()
  for _ in 1 2 3 4 5 6 7; do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    times+=($(((end - start) / 1000000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 4p
}
echo "archive: 100000 entries, $(stat -c %s "$work/many.zip") bytes"
echo "component (directory_bench, in-process): $("$build/bench/directory_bench" "$work/many.zip" 7)"
echo "component (directory_bench, whole process): $(median "$build/bench/directory_bench" "$work/many.zip" 1) ms"
echo "unzip -l: $(median unzip -l "$work/many.zip") ms"
echo "7zz l: $(median 7zz l "$work/many.zip") ms"
