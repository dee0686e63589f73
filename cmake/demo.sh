#!/usr/bin/env bash
# make demo: one real update in a scratch program directory. A stand-in main program runs; the
# updater closes it, extracts update.zip over the directory while its window shows the progress
# (under Xvfb when it is installed, else without a window), and starts the program again.
# Usage: demo.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
dir=$(mktemp -d /tmp/update-demo.XXXXXX)
trap 'rm -rf "$dir"' EXIT
app="$dir/program"
mkdir -p "$app" "$dir/content/docs"

cp "$build/app/update" "$app/update"
cp "$build/tests/child_program" "$app/demo-app"  # stands in for the main program
echo "version 1" > "$app/version.txt"
echo "demo-app" > "$app/uplog.txt"  # what the main program hands over: its own name
echo "version 2" > "$dir/content/version.txt"
cp "$build/tests/child_program" "$dir/content/main.exe"  # a new executable, as main.exe
python3 -c 'import sys; sys.stdout.write("manual line\n" * 200000)' > "$dir/content/docs/manual.txt"
(cd "$dir/content" && zip -q -r "$app/update.zip" .)

UPDATE_CHILD_RECORD="$dir/first-start.txt" "$app/demo-app" -stay &
main_pid=$!
disown "$main_pid"  # its end, by the updater's hand, is reported below, not by the shell
echo "== program directory before the update ($app)"
(cd "$app" && ls -l)
echo "== version.txt: $(cat "$app/version.txt"); the main program runs as process $main_pid"

export UPDATE_CHILD_RECORD="$dir/restart.txt"
start=$(date +%s.%N)
if command -v xvfb-run > /dev/null; then
  echo "== running the updater with its window, on a virtual display (xvfb-run)"
  xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$app/update"
else
  echo "== running the updater without a display"
  "$app/update"
fi
status=$?
end=$(date +%s.%N)
for _ in $(seq 50); do [ -s "$dir/restart.txt" ] && break; sleep 0.1; done

echo "== the updater ended with status $status after $(python3 -c "print(round($end - $start, 2))") s"
echo "== program directory after the update"
(cd "$app" && ls -l)
echo "== version.txt: $(cat "$app/version.txt")"
[ -e "$app/update.zip" ] && echo "== update.zip is still there" || echo "== update.zip is gone"
[ -e "$app/main.exe" ] && echo "== main.exe is still there" || echo "== main.exe became demo-app"
if kill -0 "$main_pid" 2> /dev/null; then echo "== the old main program still runs"; else echo "== the old main program was closed"; fi
if [ -s "$dir/restart.txt" ]; then
  echo "== the main program was started again with the argument: $(tr '\n' ' ' < "$dir/restart.txt")"
else
  echo "== the main program was not started again"
  exit 1
fi
