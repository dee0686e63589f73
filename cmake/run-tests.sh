#!/usr/bin/env bash
# Runs CTest in each build directory given, then prints one closing line with the totals. The
# Windows build's tests run under Wine, in a prefix booted before CTest starts.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
passed=0
failed=0
status=0
for dir in "$@"; do
  echo "=== tests of $dir"
  if [ "$dir" = build-windows ]; then
    bash "$root/cmake/wine-prefix.sh" || { echo "cannot prepare the Wine prefix"; status=1; continue; }
  fi
  log=$(mktemp)
  (cd "$root/$dir" && ctest --output-on-failure -j "$(nproc)" --timeout 300) 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "no CTest summary for $dir"
    status=1
  else
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  rm -f "$log"
  if [ "$dir" = build-windows ]; then
    WINEPREFIX="$root/build-windows/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  fi
done
[ "$failed" -eq 0 ] || status=1
echo "tests: $passed passed, $failed failed"
exit $status
