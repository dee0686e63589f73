#!/usr/bin/env bash
# The long run of the update transaction's kill harness: COUNT kill points (default 1000) against
# a real update of 40 files plus the main program, each followed by one more run that must finish
# the update. Prints where the kills landed (journal state / tree) and any failure.
# Usage: bench/kill_run.sh [BUILD_DIR] [COUNT] [SEED]   (BUILD_DIR defaults to build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
count=${2:-1000}
seed=${3:-$(date +%s)}
echo "kill run: $count points, seed $seed, $build/app/update"
time python3 "$root/tests/app/transaction_harness.py" "$build/app/update" \
  "$build/tests/child_program" kill --count "$count" --seed "$seed" --jobs 6
