#!/usr/bin/env bash
# The program asks for nothing while nobody touches it: with the main screen shown and Send
# enabled, and again after a field was edited (the edit leaves the motion timer running for the
# touch that ends it), it uses no processor time at all.
# Usage: idle_program_uses_no_cpu.sh BIN_DIR
set -euo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/device"
# The question was answered on an earlier run.
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dawnbell]\n"showInfo"=hex:00\n' \
  >"$work/device/registry.reg"

cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
bin=$1; work=$2
export DAWNBELL_DEVICE_DIR="$work/device" DAWNBELL_BACKEND=sdl DAWNBELL_CONNMGR=connected
export DAWNBELL_SCREEN=480x640 DAWNBELL_DPI=192
"$bin/dawnbell" >"$work/out.log" 2>&1 &
pid=$!
# SIGTERM saves the texts as Quit does: the folder is removed only once the program has ended.
trap 'kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true' EXIT
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Dawnbell$' | head -n 1)
[ -n "$window" ] || { echo "no Dawnbell window"; cat "$work/out.log"; exit 1; }
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
idle_for() {
  local before after
  before=$(ticks)
  sleep "$1"
  after=$(ticks)
  echo "$2: $((after - before)) ticks of processor time in $1 s"
  [ $((after - before)) -le 1 ] || { echo "the idle program is using the processor"; exit 1; }
}
sleep 2 # start-up and the connection worker's report
idle_for 4 "main screen"
# Edit the host field (its middle on the VGA phone), then end the edit with a touch on the
# header, above the on-screen keyboard.
xdotool mousemove --window "$window" 240 236 click 1
sleep 1
xdotool type --delay 50 "wol"
xdotool mousemove --window "$window" 240 80 click 1
sleep 1
idle_for 4 "after an edit"
SESSION

xvfb-run -a -s '-screen 0 800x700x24' bash "$work/session.sh" "$bin" "$work"
echo "idle test passed"
