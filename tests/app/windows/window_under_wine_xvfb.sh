#!/usr/bin/env bash
# update.exe with its window on a virtual display, under Wine with the X11 driver: an archive whose
# second entry is damaged leaves the error box up with the native bar at 62 %; outside the bar the
# window shows exactly the background as update.exe decodes it; answering the box (Return) ends
# the updater with 1 (not applied), which sets update.zip aside as update.zip.refused and starts
# the main program again with "-start".
# Usage: window_under_wine_xvfb.sh UPDATE.EXE CHILD_PROGRAM.EXE WINDOW_PICTURE_FILE.EXE PREFIX
# PREFIX is the test's own Wine prefix (made on the first run, reused after): a copy of the
# build's headless prefix (the fastest way, about 2 s against 13 s for a fresh boot) switched to
# the X11 graphics driver.
set -euo pipefail
update=$1 child=$2 picture_file=$3 prefix=$4
if [ -z "${UNDER_XVFB:-}" ]; then
  for tool in xvfb-run xdotool xwd; do
    command -v "$tool" > /dev/null || { echo "$tool is not installed: skipped"; exit 77; }
  done
  # A display number of our own, away from the usual :99 that other programs pick too.
  UNDER_XVFB=1 exec xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1024x768x24 -noreset" \
    bash "$0" "$@"
fi

wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
base=${WINEPREFIX:-$(cd "$(dirname "$0")/../../.." && pwd)/build-windows/wineprefix}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

work=$(mktemp -d)
cleanup() {
  { kill -9 $(jobs -p) && wait; } 2> /dev/null || true
  "$server" -k 2> /dev/null || true
  "$server" -w 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# Every Wine command writes to the test's log, never to its output: the wineserver and Wine's
# services outlive the command that started them and would hold the test runner's output open.
log="$work/wine.log"

fail() {
  echo "FAILED: $*"
  tail -n 20 "$log" 2> /dev/null || true
  exit 1
}
waitfor() {  # waitfor SECONDS COMMAND...: until the command succeeds
  local limit=$(($1 * 10))
  shift
  for _ in $(seq "$limit"); do
    "$@" > /dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}
# Windows' view of a Linux path, through drive Z:.
winpath() { echo "Z:${1//\//\\}"; }

waitfor 60 xdpyinfo || fail "the virtual display did not come up"
# A server of an earlier run that was stopped midway would still speak to its own display.
"$server" -k 2> /dev/null || true
"$server" -w 2> /dev/null || true
if [ ! -f "$prefix/.x11" ]; then
  new="$prefix.new.$$"
  rm -rf "$prefix".new.*  # left by a run that was stopped while it made the prefix
  # The build's prefix may be in use by other tests: a file that goes away while it is copied
  # spoils the copy, and a fresh boot does instead.
  if ! { [ -f "$base/.booted" ] && cp -a "$base" "$new" 2>> "$log"; }; then
    rm -rf "$new"
    WINEPREFIX=$new "$wine" wineboot -i < /dev/null >> "$log" 2>&1 || fail "cannot boot a prefix"
  fi
  WINEPREFIX=$new "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f \
    < /dev/null >> "$log" 2>&1 || fail "cannot switch the prefix to the X11 driver"
  WINEPREFIX=$new "$server" -w || true  # the registry is written when the server ends
  touch "$new/.x11"
  rm -rf "$prefix"
  mv "$new" "$prefix"
fi

# The background as update.exe decodes it (the same OLE decoder), with the bar laid over it.
"$wine" "$picture_file" 62 "$(winpath "$work/picture.ppm")" < /dev/null >> "$log" 2>&1 ||
  fail "the picture was not rendered off-screen"

mkdir -p "$work/program"
cp "$update" "$work/program/update.exe"
name="winprog-$$.exe"
cp "$child" "$work/program/$name"
echo "$name" > "$work/program/uplog.txt"
# The bar stops at 62 % and the error box comes up.
python3 "$(dirname "$0")/../make_stopping_archive.py" "$work/program/update.zip"
export UPDATE_CHILD_RECORD
UPDATE_CHILD_RECORD=$(winpath "$work/restart.txt")

"$wine" "$work/program/update.exe" < /dev/null >> "$log" 2>&1 &
first=$!
# Wine gives every window of the process the same X class, the program's name "update.exe": the
# window and the box are told apart by their captions, read from _NET_WM_NAME (outside a UTF-8
# locale Wine writes "?" for each Chinese character into WM_NAME, which `search --name` reads).
# The application's own hidden window also bears the application title, but is 1 x 1.
windows_named() {
  local id
  for id in $(xdotool search --pid "$first" 2> /dev/null); do
    [ "$(xdotool getwindowname "$id" 2> /dev/null)" = "$1" ] && echo "$id"
  done
  return 0
}
form_id() {
  local id
  id=$(windows_named "文件正在升级中..." | head -1)
  [ -n "$id" ] && echo "$id"
}
box_id() {
  local id
  for id in $(windows_named "软件升级器"); do
    xdotool getwindowgeometry "$id" | grep -q 'Geometry: 1x1$' || { echo "$id"; return 0; }
  done
  return 1
}
waitfor 60 form_id || fail "no update window"
form=$(form_id)
# The archive cannot be read: the error box comes up, captioned with the application title.
waitfor 60 box_id || fail "no error box"
box=$(box_id)
[ "$box" != "$form" ] || fail "the error box is the update window"

# Without a window manager, Wine's X window of a framed window is its client area (the frame is
# left to a window manager).
geometry=$(xdotool getwindowgeometry "$form")
echo "$geometry" | grep -q "Geometry: 340x114$" || fail "client area: $geometry"
# The box is centred over the window: move it aside, then compare once the window has repainted.
timeout 10 xdotool windowmove --sync "$box" 0 0 || fail "the error box could not be moved"
compare() {
  xwd -silent -id "$form" -out "$work/window.xwd" && python3 - "$work/window.xwd" \
    "$work/picture.ppm" > "$work/compare.txt" 2>&1 << 'PY'
import struct, sys

def read_xwd(path):
    data = open(path, "rb").read()
    f = struct.unpack(">25I", data[:100])
    header, width, height, order, bits, row_bytes = f[0], f[4], f[5], f[7], f[11], f[12]
    masks, colours = f[14:17], f[19]
    if bits not in (24, 32):
        sys.exit(f"unexpected {bits} bits per pixel")
    start = header + colours * 12
    pixels = []
    for y in range(height):
        row = data[start + y * row_bytes:start + (y + 1) * row_bytes]
        for x in range(width):
            value = int.from_bytes(row[x * bits // 8:(x + 1) * bits // 8],
                                   "little" if order == 0 else "big")
            rgb = []
            for mask in masks:
                shift = (mask & -mask).bit_length() - 1
                rgb.append(((value & mask) >> shift) * 255 // (mask >> shift))
            pixels.append(tuple(rgb))
    return width, height, pixels

def read_ppm(path):
    magic, size, depth, data = open(path, "rb").read().split(b"\n", 3)
    width, height = map(int, size.split())
    return width, height, [tuple(data[i * 3:i * 3 + 3]) for i in range(width * height)]

width, height, shot = read_xwd(sys.argv[1])
want_width, want_height, want = read_ppm(sys.argv[2])
if (width, height) != (want_width, want_height):
    sys.exit(f"screenshot {width}x{height}, picture {want_width}x{want_height}")
left, top, bar_width, bar_height = 134, 64, 193, 16
def in_bar(x, y):
    return left <= x < left + bar_width and top <= y < top + bar_height
# Both pictures come from the same decoder; a little slack stays for a display of another depth.
tolerance = 2
worst, differ = 0, 0
for y in range(height):
    for x in range(width):
        if in_bar(x, y):
            continue
        d = max(abs(a - b) for a, b in zip(shot[y * width + x], want[y * width + x]))
        worst = max(worst, d)
        differ += d > tolerance
if differ:
    sys.exit(f"{differ} pixels outside the bar differ from the background (up to {worst})")
# The native bar: its filled part runs from the left in the chunk colour, read off the screenshot
# a few pixels inside the bar's left end on its middle row (Wine paints (48, 150, 250)).
row = [shot[(top + bar_height // 2) * width + x] for x in range(left, left + bar_width)]
chunk = row[4]
def is_chunk(p):
    return max(abs(a - b) for a, b in zip(p, chunk)) <= tolerance
if min(chunk) > 200:
    sys.exit(f"the bar is empty on its left (colour {chunk})")
start = next(i for i in range(bar_width) if is_chunk(row[i]))
end = start
while end < bar_width and is_chunk(row[end]):
    end += 1
if any(is_chunk(p) for p in row[end:]):
    sys.exit("the bar's filled part is not one piece from the left")
filled = end  # from the bar's left edge, its border included
expected = round(0.62 * bar_width)
if abs(filled - expected) > 4:
    sys.exit(f"the bar is filled {filled} of {bar_width} pixels, about {expected} expected")
print(f"outside the bar: equal (largest channel difference {worst}); "
      f"bar: {filled} of {bar_width} pixels in {chunk}")
PY
}
waitfor 60 compare || fail "the window's picture: $(cat "$work/compare.txt" 2> /dev/null)"
cat "$work/compare.txt"

# The user answers the box; should the key go astray (Wine takes in a focus change from the X
# server on its own time), the user presses it again.
ended() { ! kill -0 "$first" 2> /dev/null; }
for _ in 1 2 3; do
  timeout 10 xdotool windowfocus --sync "$box" key Return 2> /dev/null || true
  waitfor 10 ended && break
done
waitfor 60 ended || fail "update.exe did not end when the box was answered"
status=0
wait "$first" || status=$?
[ "$status" -eq 1 ] || fail "update.exe status $status (1: not applied)"
# Damaged data stay damaged: the archive is set aside, not offered again.
[ -e "$work/program/update.zip.refused" ] || fail "update.zip was not set aside"
[ -e "$work/program/update.zip" ] && fail "update.zip is still offered"
waitfor 60 test -s "$work/restart.txt" || fail "the main program was not started again"
[ "$(tr -d '\r' < "$work/restart.txt")" = "-start" ] ||
  fail "restart arguments: $(cat "$work/restart.txt")"
echo "passed"
