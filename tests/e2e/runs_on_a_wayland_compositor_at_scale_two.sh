#!/usr/bin/env bash
# The real program on a Wayland compositor that scales its 720 x 1440 output by 2, as phone
# shells do: in native mode it opens full screen, draws at the display's own density (a
# 360 x 720 screen shown at scale 2, not a blurred half-size window), presents its first picture
# and ends with status 0. Weston runs nested in Xvfb: its headless backend has no seat, which
# SDL 2.26's Wayland driver does not survive.
# Usage: runs_on_a_wayland_compositor_at_scale_two.sh BIN_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
source "$(dirname "$0")/scratch.bash"
need weston
mkdir -m 700 "$work/runtime"

cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
bin=$1 work=$2
export XDG_RUNTIME_DIR=$work/runtime
weston --no-config --backend=x11-backend.so --use-pixman --socket=dawnbell-test --scale=2 \
  --width=720 --height=1440 --idle-time=0 >"$work/weston.log" 2>&1 &
compositor=$!
trap 'kill $compositor 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/dawnbell-test" ] && break; sleep 0.05; done
[ -S "$XDG_RUNTIME_DIR/dawnbell-test" ] || { cat "$work/weston.log"; echo "weston did not start"; exit 1; }
status=0
env -u DISPLAY WAYLAND_DISPLAY=dawnbell-test DAWNBELL_SCREEN=native DAWNBELL_BACKEND=sdl \
  DAWNBELL_DEVICE_DIR="$work/device" DAWNBELL_CONNMGR=connected DAWNBELL_END_AFTER_FIRST_PICTURE=1 \
  timeout 30 "$bin/dawnbell" >"$work/program.log" 2>&1 || status=$?
cat "$work/program.log"
[ "$status" -eq 0 ] || { echo "the program ended with status $status"; exit 1; }
grep -q "first picture, a 360x720 screen at scale 2 on the display" "$work/program.log" ||
  { echo "the first picture was not a 360x720 screen at scale 2"; exit 1; }
SESSION
xvfb-run -a -s '-screen 0 1024x1600x24' bash "$work/session.sh" "$bin" "$work" ||
  fail "on the Wayland compositor"
echo "runs on a Wayland compositor at scale 2"
