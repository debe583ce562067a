#!/usr/bin/env bash
# The real program on an 800 x 480 and a 1024 x 600 native screen (a wall panel, a monitor): the
# host information fills the left column, Send and the status line top the right one, both in
# sight at the start. Host, MAC and port are typed with Return between them (each column slides
# on its own); the last Return hides the keyboard, and Send, which never moved, wakes a receiver
# on loopback with no scroll.
# Usage: wide_native_screens_show_send_beside_the_fields_and_wake_with_no_scroll.sh BIN_DIR
set -euo pipefail
source "$(dirname "$0")/wake_scenario.bash"
bin=$1
tests=$(cd "$bin/../tests" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
source "$1"
program=$2 work=$3 tests=$4 name=$5
export DAWNBELL_SCREEN=native DAWNBELL_DEVICE_DIR=$work/$name DAWNBELL_CONNMGR=connected
"$tests/udp_receiver" "$work/$name.port" "$work/$name.datagram" 60 &
receiver=$!
for _ in $(seq 100); do [ -s "$work/$name.port" ] && break; sleep 0.05; done
port=$(cat "$work/$name.port") || fail "the receiver did not start"
start_program "$program" "$work/$name.log"
answer_yes
read -r _ view_top _ _ <<<"$(fact view)"
for id in 1 2 3 4 5 6; do
  read -r left top right bottom <<<"$(fact "element $id")"
  [ "$left" -ge 0 ] && [ "$right" -le "$device_width" ] || fail "widget $id ($left..$right) leaves the screen"
done
for id in 4 6; do
  read -r left top right bottom <<<"$(fact "element $id")"
  [ "$top" -ge "$view_top" ] && [ "$bottom" -le "$device_height" ] ||
    fail "widget $id ($top..$bottom) is not in sight at the start"
done
read -r _ _ field_right _ <<<"$(fact "element 1")"
read -r send_left _ _ _ <<<"$(fact "element 4")"
read -r status_left _ status_right _ <<<"$(fact "element 6")"
[ "$field_right" -lt "$send_left" ] && [ "$field_right" -lt "$status_left" ] ||
  fail "Send ($send_left) and the status line ($status_left) are not right of the fields ($field_right)"
send_at=$(fact "element 4")
edit_field 1
type_keys "$host_text"
wait_fact editor-text "$host_text"
xdotool key Return
wait_fact editor 2
type_keys "$mac_text"
wait_fact editor-text "$mac_text"
xdotool key Return
wait_fact editor 3
type_keys "$port"
wait_fact editor-text "$port"
xdotool key Return
wait_fact editor none
wait_fact keyboard none
wait_fact "text 3" "$port"
[ "$(fact "element 4")" = "$send_at" ] || fail "Send moved from $send_at to $(fact "element 4")"
tap_rect "$send_at"
wait_fact "text 6" "Magic packet sended ;-)|$host_text already answers: it was awake, or it is your router"
wait "$receiver" || fail "no packet reached the receiver"
receiver=""
[ "$(od -An -v -tx1 "$work/$name.datagram" | tr -d ' \n')" = "$(expected_packet)" ] || fail "not the magic packet"
"$xclose" "$window"
wait_for_exit
[ "$exit_status" -eq 0 ] || fail "closing ended the program with status $exit_status"
SESSION

export xclose=$tests/xclose
for display in "800x480 panel" "1024x600 monitor"; do
  read -r size name <<<"$display"
  export device_width=${size%x*} device_height=${size#*x}
  xvfb-run -a -s "-screen 0 ${size}x24" bash "$work/session.sh" \
    "$(dirname "$0")/wake_scenario.bash" "$bin/dawnbell" "$work" "$tests" "$name" ||
    fail "the native screen on the ${size} display"
done
echo "wide native screens show Send beside the fields and wake with no scroll"
