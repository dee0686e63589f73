#!/usr/bin/env bash
# Installs every Debian package that building and testing the project needs, and nothing when all
# of them are present. The one list of the project's system dependencies.
set -euo pipefail

packages=(
  # Linux build and unit tests
  cmake ninja-build g++ make googletest zlib1g-dev libisal-dev libssl-dev libbenchmark-dev
  # Windows cross-build (posix thread model, static zlib) and its test runner
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 wine
  # fuzz targets (libFuzzer)
  clang libclang-rt-14-dev
  # archives made by the tools users have, read back in the tests
  zip unzip 7zip python3
  # the updater on Linux: FLTK (linked statically) with what its static link needs, libjpeg for
  # the background picture, a CJK font for the window's texts, Xvfb and X tools for its tests
  libfltk1.3-dev libxcursor-dev libxinerama-dev libxft-dev libxfixes-dev libxrender-dev
  libfontconfig-dev libjpeg-dev fonts-wqy-zenhei xvfb x11-utils xdotool
  # screenshots of update.exe's window under Wine (xwd)
  x11-apps
  # peers and timing of the benchmarks (run by hand)
  libarchive-tools time
  # failing reads of a real process (unzipper's read-error test)
  strace
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run as root or install them" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
