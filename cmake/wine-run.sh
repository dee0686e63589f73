#!/usr/bin/env bash
# Runs a Windows executable under Wine, headless, in the project's own prefix.
export WINEPREFIX="${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build-windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The output goes through a file, not straight to the caller's pipe: a Wine service that the
# program starts on demand (the desktop process, say) inherits the program's output and can
# outlive it by minutes, and a caller that reads the pipe to its end (ctest) would wait for it.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
/usr/lib/wine/wine64 "$@" < /dev/null > "$log" 2>&1 || status=$?
cat "$log"
exit "$status"
