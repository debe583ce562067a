#!/usr/bin/env bash
# A person who types on the VGA phone goes from field to field without a tap: Return on the
# physical keyboard after the host, the on-screen keyboard's enter key after the MAC address,
# the keypad's Enter after the port and Return after the SecureOn password; each opens the next
# field's editor, the last ends the edit and hides the keyboard, Send lies in sight and its tap
# wakes a receiver on loopback with the password after the MAC copies.
# Usage: types_every_field_with_return_between_and_sends.sh BIN_DIR
set -euo pipefail
source "$(dirname "$0")/wake_scenario.bash"
bin=$1
tests=$(cd "$bin/../tests" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/program" "$work/device"
cp "$bin/dawnbell" "$bin/dawnbell-screen" "$work/program/"
cp -r "$bin/resources" "$work/program/"

cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
source "$1"
work=$2 tests=$3
"$tests/udp_receiver" "$work/port" "$work/datagram" 60 &
receiver=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port") || fail "the receiver did not start"
start_program "$work/program/dawnbell" "$work/run.log"
answer_yes
edit_field 1
type_keys "$host_text"
wait_fact editor-text "$host_text"
xdotool key Return
wait_fact editor 2
wait_fact "text 1" "$host_text"
click_keys "$mac_text"
wait_fact editor-text "$mac_text"
# The enter key: the right end of the keyboard's third row.
read -r left top right bottom <<<"$(fact keyboard)"
click_screen $((right - (right - left) / 22)) $((top + (bottom - top) * 5 / 8))
wait_fact editor 3
wait_fact "text 2" "$mac_text"
type_keys "$port"
wait_fact editor-text "$port"
xdotool key KP_Enter
wait_fact editor 9
wait_fact "text 3" "$port"
type_keys "aa:bb:cc:dd:ee:ff"
wait_fact editor-text "aa:bb:cc:dd:ee:ff"
xdotool key Return
wait_fact editor none
wait_fact keyboard none
wait_fact "text 9" "aa:bb:cc:dd:ee:ff"
read -r _ top _ bottom <<<"$(fact "element 4")"
read -r _ view_top _ _ <<<"$(fact view)"
[ "$top" -ge "$view_top" ] && [ "$bottom" -le "$device_height" ] || fail "Send ($top..$bottom) is not in sight"
tap_rect "$(fact "element 4")"
wait_fact "text 6" "Magic packet sended ;-)|$host_text already answers: it was awake, or it is your router"
wait "$receiver" || fail "no packet reached the receiver"
receiver=""
[ "$(od -An -v -tx1 "$work/datagram" | tr -d ' \n')" = "$(expected_packet)aabbccddeeff" ] ||
  fail "not the magic packet with its password"
"$xclose" "$window"
wait_for_exit
[ "$exit_status" -eq 0 ] || fail "closing ended the program with status $exit_status"
SESSION

export DAWNBELL_SCREEN=480x640 DAWNBELL_DPI=192 DAWNBELL_DEVICE_DIR=$work/device \
  DAWNBELL_CONNMGR=connected device_width=480 device_height=640 xclose=$tests/xclose
xvfb-run -a -s '-screen 0 800x700x24' bash "$work/session.sh" \
  "$(dirname "$0")/wake_scenario.bash" "$work" "$tests"
echo "typed host, MAC, port and password with Return between them and sent"
