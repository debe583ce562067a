#!/usr/bin/env bash
# The real program's toolkit, message loop and SDL window under Xvfb, on a test screen of two
# text fields (tests/e2e/EditScreen.cpp, built beside the tests, never installed): a click on a
# field opens the native editor with the on-screen keyboard; keys typed through the X server,
# clicks on the keyboard's keys and Ctrl+V all reach the field; a click elsewhere ends the edit
# and the field keeps the text. The second field lies where the keyboard would cover it, so the
# screen slides before its editor opens.
# Usage: field_takes_typed_text.sh BIN_DIR
set -euo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null; then
  echo "xvfb-run and xdotool are needed"; exit 1
fi
screen_program=$bin/../tests/edit_screen
[ -x "$screen_program" ] || { echo "no $screen_program (build the tests first)"; exit 1; }
# The program finds its resource set beside itself.
mkdir -p "$work/program"
cp "$screen_program" "$work/program/"
cp -r "$bin/resources" "$work/program/"

cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
work=$1; xclose=$2
log=$work/out.log
export DAWNBELL_DEVICE_DIR="$work/device" DAWNBELL_BACKEND=sdl DAWNBELL_CONNMGR=connected
"$work/program/edit_screen" >"$log" 2>&1 &
pid=$!
fail() { echo "$1"; cat "$log"; kill "$pid" 2>/dev/null || true; exit 1; }
# Waits (bounded) until the program reports the line.
wait_for() {
  for _ in $(seq 200); do
    grep -qxF -- "$1" "$log" && return 0
    sleep 0.05
  done
  fail "never saw: $1"
}
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Dawnbell$' | head -n 1)
[ -n "$window" ] || fail "no Dawnbell window"
wait_for "screen built"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" -eq 480 ] && [ "$HEIGHT" -eq 640 ] || fail "window ${WIDTH}x${HEIGHT}, not the screen's size"

click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
# A touch the toolkit takes as a new tap, not the second half of a double tap.
tap() { sleep 0.4; click "$1" "$2"; }
# The centre of a key of the on-screen keyboard: four rows of 40 pixels from row 480, eleven
# units across the 480 pixels.
key() { click $(((480 * $2 / 11 + 480 * ($2 + 1) / 11) / 2)) $((480 + 40 * $1 + 20)); }

tap 240 164 # the first field, already clear of the keyboard
wait_for "editor open 1 above the keyboard"
xdotool windowfocus --sync "$window"
xdotool type --delay 20 "192.16x"
xdotool key BackSpace
xdotool type "8"
wait_for "editor: 192.168"
key 3 8; key 0 0; key 3 8; key 0 1; key 0 9 # . 1 . 2 0
wait_for "editor: 192.168.1.20"
tap 240 300 # empty space ends the edit
wait_for "editor closed"

tap 240 520 # the second field: the screen slides it above the keyboard
wait_for "editor open 2 above the keyboard"
xdotool key ctrl+v
wait_for "editor: 00:1a:2b:3c:4d:5e"
tap 240 80 # the header ends the edit
wait_for "editor closed"

"$xclose" "$window"
timeout 20 tail --pid="$pid" -f /dev/null || fail "did not end after close"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
grep -qxF "field 1: 192.168.1.20" "$log" || fail "the first field lost its text"
grep -qxF "field 2: 00:1a:2b:3c:4d:5e" "$log" || fail "the second field lost its text"
cat "$log"
SESSION

xvfb-run -a -s '-screen 0 800x700x24' bash "$work/session.sh" "$work" "$bin/../tests/xclose"
echo "typing test passed"
