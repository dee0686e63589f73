#!/usr/bin/env bash
# The updater with its window on a virtual display: an archive whose second entry is damaged
# leaves the error box up with the bar at 62 %; the window then shows exactly the picture
# rendered off-screen; a second copy started meanwhile ends at once with status 0 and leaves the
# focus on the first copy's window; answering the box as a user would (Return) ends the first
# copy (exit status 1), which sets update.zip aside as update.zip.refused and starts the main
# program again. Escape neither stops nor
# shortens an update.
# Usage: window_under_xvfb.sh UPDATE CHILD_PROGRAM WINDOW_PICTURE_CHECK
set -euo pipefail
update=$1 child=$2 check=$3
if [ -z "${UNDER_XVFB:-}" ]; then
  command -v xvfb-run > /dev/null || { echo "xvfb-run is not installed: skipped"; exit 77; }
  # A display number of our own, away from the usual :99 that other programs pick too.
  UNDER_XVFB=1 exec xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1024x768x24 -noreset" \
    bash "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill -9 $(jobs -p) 2> /dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/program" "$work/runtime"
cp "$update" "$work/program/update"
name="winprog-$$.bin"
cp "$child" "$work/program/$name"
echo "$name" > "$work/program/uplog.txt"
# The bar stops at 62 % and the error box comes up.
python3 "$(dirname "$0")/make_stopping_archive.py" "$work/program/update.zip"
export XDG_RUNTIME_DIR="$work/runtime" UPDATE_CHILD_RECORD="$work/restart.txt"
# For a sanitizer build: the font libraries' caches are not the updater's leaks.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan_suppressions.txt"

fail() { echo "FAILED: $*"; exit 1; }
waitfor() {  # waitfor SECONDS COMMAND...: until the command succeeds
  local limit=$(( $1 * 10 )); shift
  for _ in $(seq "$limit"); do "$@" > /dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

waitfor 60 xdpyinfo || fail "the virtual display did not come up"
"$work/program/update" & first=$!
waitfor 60 xdotool search --class TForm1 || fail "no update window"
form=$(xdotool search --class TForm1 | head -1)
# The archive cannot be read: the error box comes up, captioned with the application title.
waitfor 60 xdotool search --class TMessageForm || fail "no error box"
box=$(xdotool search --class TMessageForm | head -1)
[ "$(xdotool getwindowname "$box")" = "软件升级器" ] || fail "box caption: $(xdotool getwindowname "$box")"
geometry=$(xdotool getwindowgeometry "$form")
echo "$geometry" | grep -q "340x114" || fail "window geometry: $geometry"
# The box is centred like the window: move it aside, then compare the window's pixels.
xdotool windowmove --sync "$box" 0 0
# Compared until the window has been painted again (or the wait's bound has passed).
waitfor 60 "$check" 62 "$work/screenshot.ppm" ||
  { "$check" 62 "$work/screenshot.ppm"; fail "the window differs from its picture rendered off-screen"; }

# A second copy: ends at once with status 0 and activates the first copy's window.
"$work/program/update" || fail "second copy status $?"
[ "$(xdotool getwindowfocus)" = "$form" ] || fail "focus is not on the first copy's window"
[ -e "$work/program/uplog.txt" ] && fail "the second copy should not have run (uplog.txt is the first copy's)"

# The user answers the box.
xdotool windowfocus --sync "$box" key Return
waitfor 60 bash -c "! kill -0 $first" || fail "the first copy did not end"
status=0
wait "$first" || status=$?
[ "$status" = 1 ] || fail "first copy status $status (1: not applied)"
# Damaged data stay damaged: the archive is set aside, not offered again.
[ -e "$work/program/update.zip.refused" ] || fail "update.zip was not set aside"
[ -e "$work/program/update.zip" ] && fail "update.zip is still offered"
waitfor 60 test -s "$work/restart.txt" || fail "the main program was not started again"
[ "$(cat "$work/restart.txt")" = "-start" ] || fail "restart arguments: $(cat "$work/restart.txt")"

# The window offers the user nothing: Escape, sent as soon as the window shows (before the
# update starts), neither stops nor shortens the update. (Without a window manager there is no
# close request to send; FLTK hands it to the same window callback as Escape.)
rm -rf "$work/program" "$work/restart.txt"
mkdir -p "$work/program"
cp "$update" "$work/program/update"
cp "$child" "$work/program/$name"
echo "$name" > "$work/program/uplog.txt"
echo old > "$work/program/data.txt"
python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z: z.writestr("data.txt", "new\n")' "$work/program/update.zip"
"$work/program/update" & third=$!
waitfor 60 xdotool search --class TForm1 || fail "no update window for the Escape run"
form=$(xdotool search --class TForm1 | head -1)
xdotool windowfocus --sync "$form" key Escape
waitfor 60 bash -c "! kill -0 $third" || fail "the updater did not end after Escape"
wait "$third" || fail "updater status $? after Escape"
[ "$(cat "$work/program/data.txt")" = "new" ] || fail "Escape stopped the update"
[ -e "$work/program/update.zip" ] && fail "update.zip is still there after Escape"
waitfor 60 test -s "$work/restart.txt" || fail "the main program was not started again"
echo "passed"
