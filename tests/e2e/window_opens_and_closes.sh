#!/usr/bin/env bash
# The real program in a real X window: it opens its window at the device's size, shows its
# screen, and pressing the window's close button ends it with exit status 0.
# Usage: window_opens_and_closes.sh BIN_DIR
set -euo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null; then
  echo "xvfb-run and xdotool are needed"; exit 1
fi

cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
bin=$1; work=$2; xclose=$3
export DAWNBELL_DEVICE_DIR="$work/device" DAWNBELL_BACKEND=sdl DAWNBELL_CONNMGR=connected
"$bin/dawnbell" >"$work/out.log" 2>&1 &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Dawnbell$' | head -n 1)
[ -n "$window" ] || { echo "no Dawnbell window"; cat "$work/out.log"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "window $window: ${WIDTH}x${HEIGHT}"
# Asked for a picture: the first frame arrives soon after the window maps, so wait (bounded) for
# a screen with content.
if [ -n "${DAWNBELL_SCREENSHOT:-}" ]; then
  for _ in $(seq 50); do
    import -window root "$work/screen.png" 2>/dev/null || true
    colours=$(convert "$work/screen.png" -format %k info: 2>/dev/null || echo 0)
    [ "$colours" -gt 8 ] && break
    sleep 0.1
  done
fi
"$xclose" "$window"
status=0
timeout 20 tail --pid="$pid" -f /dev/null || { echo "did not end after close"; kill "$pid"; exit 1; }
wait "$pid" || status=$?
cat "$work/out.log"
[ "$status" -eq 0 ] || { echo "exit status $status"; exit 1; }
[ "$WIDTH" -ge 480 ] && [ "$HEIGHT" -ge 640 ] || { echo "window smaller than the screen"; exit 1; }
SESSION

xvfb-run -a -s '-screen 0 800x700x24' bash "$work/session.sh" "$bin" "$work" "$bin/../tests/xclose"
if [ -n "${DAWNBELL_SCREENSHOT:-}" ] && [ -f "$work/screen.png" ]; then
  cp "$work/screen.png" "$DAWNBELL_SCREENSHOT"
fi
echo "window test passed"
