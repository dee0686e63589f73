#!/usr/bin/env bash
# Prepares the Wine prefix that the Windows tests run in: boots it once (the first start takes
# seconds), makes window code headless, and starts a persistent wineserver before ctest so that no
# test inherits a server started inside ctest.
set -euo pipefail
export WINEPREFIX="${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build-windows/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
mkdir -p "$WINEPREFIX"
if [ ! -f "$WINEPREFIX/.booted" ]; then
  "$wine" wineboot -i </dev/null >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  "$server" -w
  touch "$WINEPREFIX/.booted"
fi
# Every process started here gets /dev/null for its output: a wineserver or a Wine service that
# held the caller's pipe would keep ctest (or CI) waiting for the end of its output.
"$server" -p </dev/null >/dev/null 2>&1 || true  # already running is fine
# Start Wine's background services now, not inside the first test.
"$wine" wineboot </dev/null >/dev/null 2>&1
