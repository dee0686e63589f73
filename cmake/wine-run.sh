#!/usr/bin/env bash
# Runs a Windows executable under Wine, headless, in the project's own prefix.
export WINEPREFIX="${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build-windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec /usr/lib/wine/wine64 "$@"
