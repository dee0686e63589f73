#!/usr/bin/env bash
# Reads the directory of an archive of 200,000 entries whose central directory lists them in
# archive order, and of the same archive with its central directory reversed, and prints the
# median of each. Usage: bench/directory_order.sh [BUILD_DIR] [COUNT]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
count=${2:-200000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$root/bench/directory_order_archives.py" "$count" "$work/in-order.zip" "$work/reversed.zip"
echo "in order: $("$build/bench/directory_bench" "$work/in-order.zip" 5)"
echo "reversed: $("$build/bench/directory_bench" "$work/reversed.zip" 5)"
