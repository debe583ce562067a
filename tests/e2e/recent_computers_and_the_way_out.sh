#!/usr/bin/env bash
# The recent computers with the real program in a real X server, driven by mouse clicks and keys
# only, on the VGA phone: a user wakes two computers in turn (two receivers on loopback, the port
# changed in between) and quits; at the next start both are listed, newest first; a tap on the
# older row puts its texts into the fields and Send wakes the older computer again. Closing the
# window then keeps the texts of that row, and at a third start the session's SIGTERM keeps the
# texts of the row tapped then: both end with status 0, as Quit does.
# Usage: recent_computers_and_the_way_out.sh BIN_DIR
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wake_scenario.bash"

# The UTF-16LE hex of a text, as the settings file holds it.
utf16_hex() {
  local text=$1 hex="" i
  for ((i = 0; i < ${#text}; i++)); do
    hex+=$(printf '%02x,00,' "'${text:i:1}")
  done
  printf '%s' "${hex%,}"
}

# The settings of a user who answered the question before and last typed host, MAC and PORT,
# as older versions kept them: three values.
seed_settings() {
  local settings=$1 port=$2
  cat >"$settings" <<EOF
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dawnbell]
"showInfo"=hex:00
"lastIP"=hex(1):$(utf16_hex "$host_text")
"lastMAC"=hex(1):$(utf16_hex "$mac_text")
"lastPort"=hex(1):$(utf16_hex "$port")
EOF
}

row_text() {
  echo "$host_text|$mac_text   port $1"
}

# Waits (bounded) for the file the receiver writes.
wait_datagram() {
  for _ in $(seq 200); do [ -s "$1" ] && break; sleep 0.05; done
  [ -s "$1" ] || fail "no packet reached $1"
  [ "$(od -An -v -tx1 "$1" | tr -d ' \n')" = "$(expected_packet)" ] || fail "$1 is not the packet"
}

# The row into view and a tap on it; its texts must come into the fields.
tap_row() {
  local id=$1 port=$2
  scroll_to_end
  tap_rect "$(fact "element $id")"
  wait_fact "text 3" "$port"
  [ "$(fact "text 1")" = "$host_text" ] && [ "$(fact "text 2")" = "$mac_text" ] ||
    fail "row $id did not fill the fields"
}

session() {
  local work=$1 tests=$2 settings=$1/device/registry.reg
  "$tests/udp_receiver" "$work/port-a" "$work/a" 60 2 &
  "$tests/udp_receiver" "$work/port-b" "$work/b" 60 &
  for _ in $(seq 100); do [ -s "$work/port-a" ] && [ -s "$work/port-b" ] && break; sleep 0.05; done
  local port_a port_b
  port_a=$(cat "$work/port-a") && port_b=$(cat "$work/port-b") || fail "the receivers did not start"
  seed_settings "$settings" "$port_a"

  # First start: the list is empty; Send to A, the port changed to B's, Send to B, Quit.
  start_program "$work/program/dawnbell" "$work/first.log"
  wait_fact send enabled
  wait_fact "text 200" none
  tap_rect "$(fact "element 4")"
  wait_datagram "$work/a"
  wait_fact "text 200" "$(row_text "$port_a")"
  edit_field 3
  xdotool key --repeat 6 BackSpace
  type_keys "$port_b"
  wait_fact editor-text "$port_b"
  end_edit
  tap_rect "$(fact "element 4")"
  wait_datagram "$work/b"
  wait_fact "text 200" "$(row_text "$port_b")"
  wait_fact "text 201" "$(row_text "$port_a")"
  [ "$(fact "text 202")" = none ] || fail "a third row"
  scroll_to_quit_and_tap_it
  stored_fields "$host_text" "$mac_text" "$port_b" "$settings" || fail "Quit did not keep the port"

  # Second start: the older row, Send wakes A again; the window's close button keeps A's port.
  start_program "$work/program/dawnbell" "$work/second.log"
  wait_fact send enabled
  wait_fact "text 201" "$(row_text "$port_a")"
  tap_row 201 "$port_a"
  picture older-row-tapped
  tap_rect "$(fact "element 4")"
  wait_datagram "$work/a.2"
  "$xclose" "$window"
  wait_for_exit
  [ "$exit_status" -eq 0 ] || fail "closing the window ended the program with status $exit_status"
  stored_fields "$host_text" "$mac_text" "$port_a" "$settings" || fail "closing the window lost the typed port"

  # Third start: B's row (now the older one), then the end of the session.
  start_program "$work/program/dawnbell" "$work/third.log"
  wait_fact send enabled
  wait_fact "text 200" "$(row_text "$port_a")"
  tap_row 201 "$port_b"
  kill -TERM "$pid"
  wait_for_exit
  [ "$exit_status" -eq 0 ] || fail "SIGTERM ended the program with status $exit_status"
  stored_fields "$host_text" "$mac_text" "$port_b" "$settings" || fail "SIGTERM lost the typed port"
  grep -a -c '^"computer[0-9]*"=' "$settings" | grep -qx 2 || fail "the settings do not hold two rows"
}

# Run, not sourced by its own session: sets up and starts the session under Xvfb.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  bin=$1
  tests=$(cd "$bin/../tests" && pwd)
  for tool in xvfb-run xdotool od; do
    command -v "$tool" >/dev/null || fail "$tool is needed"
  done
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/program" "$work/device"
  cp "$bin/dawnbell" "$bin/dawnbell-screen" "$work/program/"
  cp -r "$bin/resources" "$work/program/"
  export DAWNBELL_SCREEN=480x640 DAWNBELL_DPI=192 DAWNBELL_DEVICE_DIR=$work/device \
    DAWNBELL_CONNMGR=connected device_width=480 device_height=640 xclose=$tests/xclose
  started=$SECONDS
  here=$(cd "$(dirname "$0")" && pwd)
  xvfb-run -a -s '-screen 0 800x700x24' bash -c 'set -euo pipefail; source "$1"; session "$2" "$3"' \
    session "$here/$(basename "$0")" "$work" "$tests"
  echo "recent computers and the way out in $((SECONDS - started)) s"
fi
