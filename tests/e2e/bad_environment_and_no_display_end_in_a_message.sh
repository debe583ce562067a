#!/usr/bin/env bash
# The device's environment gone wrong: without a display the program says so and ends with status
# 1; bad DAWNBELL_SCREEN, DAWNBELL_DPI and DAWNBELL_BACKEND values are each named on standard
# error and replaced by the defaults, and the program then opens its window at the default size
# and ends normally when it is closed.
# Usage: bad_environment_and_no_display_end_in_a_message.sh BIN_DIR
set -euo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null; then
  echo "xvfb-run and xdotool are needed"; exit 1
fi
export DAWNBELL_DEVICE_DIR="$work/device" DAWNBELL_CONNMGR=connected

status=0
env -u DISPLAY -u WAYLAND_DISPLAY DAWNBELL_BACKEND=sdl timeout 30 "$bin/dawnbell" \
  >"$work/no-display.log" 2>&1 || status=$?
cat "$work/no-display.log"
[ "$status" -eq 1 ] || fail "without a display the exit status is $status"
grep -q "no display available" "$work/no-display.log" || fail "nothing said without a display"

cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
bin=$1; work=$2; xclose=$3
export DAWNBELL_BACKEND=x11 DAWNBELL_SCREEN=10x10 DAWNBELL_DPI=abc
"$bin/dawnbell" >"$work/bad-values.log" 2>&1 &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Dawnbell$' | head -n 1)
[ -n "$window" ] || { echo "no Dawnbell window"; cat "$work/bad-values.log"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$window")"
"$xclose" "$window"
status=0
timeout 20 tail --pid="$pid" -f /dev/null || { echo "did not end after close"; kill "$pid"; exit 1; }
wait "$pid" || status=$?
cat "$work/bad-values.log"
[ "$status" -eq 0 ] || { echo "exit status $status"; exit 1; }
[ "$WIDTH" -ge 480 ] && [ "$HEIGHT" -ge 640 ] || { echo "window ${WIDTH}x${HEIGHT}, not the default size"; exit 1; }
SESSION

xvfb-run -a -s '-screen 0 800x700x24' bash "$work/session.sh" "$bin" "$work" "$bin/../tests/xclose"
for name in DAWNBELL_SCREEN DAWNBELL_DPI DAWNBELL_BACKEND; do
  grep -q "$name=.*using the default" "$work/bad-values.log" || fail "$name is not reported"
done
echo "bad environment test passed"
