#!/usr/bin/env bash
# How long an update keeps the program directory mixed (first to last rename into or out of the
# program tree), for 500 and 5,000 small files, on a directory on disk (not tmpfs): the real
# updater with a preloaded library that notes its renames. Needs cc.
# Usage: bench/commit_stretch.sh [UPDATER...]   (default build/app/update)
# Environment: RUNS (default 3), COUNTS (default "500 5000"), WORK_DIR (default
# /var/tmp/update-commit-stretch, removed at the end).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -eq 0 ]; then set -- "$root/build/app/update"; fi
updaters=()
for updater in "$@"; do updaters+=("$(cd "$(dirname "$updater")" && pwd)/$(basename "$updater")"); done
work=${WORK_DIR:-/var/tmp/update-commit-stretch}
case $(stat -f -c %T "$(dirname "$work")") in
  tmpfs | ramfs) echo "$work is on $(stat -f -c %T "$(dirname "$work")"): use a directory on disk" >&2; exit 2 ;;
esac
python3 "$root/bench/commit_stretch.py" "$work" "${RUNS:-3}" "${COUNTS:-500 5000}" "${updaters[@]}"
