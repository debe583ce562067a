#!/usr/bin/env bash
# The real program on an 800 x 480 touch panel (DAWNBELL_SCREEN=native under an Xvfb of that
# size), driven by clicks and keys only: Send with every field empty (dragged into sight, and the
# fields dragged back after it showed the status line), the port typed (the screen slides the
# field above the keyboard), the host typed, Send again ("Invalid MAC address...", which
# repaints only the texts of the fields); then a tap on the host field, away from its text,
# still opens its editor. More is typed there, and the session's end (SIGTERM) with the
# editor open keeps what the editor holds, as Quit would, and ends with status 0.
# Usage: native_panel_fields_keep_taking_taps_and_sigterm_keeps_the_open_edit.sh BIN_DIR
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wake_scenario.bash"

session() {
  local work=$1 settings=$1/device/registry.reg
  export DAWNBELL_SCREEN=native DAWNBELL_DEVICE_DIR=$work/device DAWNBELL_CONNMGR=connected
  start_program "$work/program/dawnbell" "$work/panel.log"
  answer_yes
  tap_send
  wait_fact "text 6" "Invalid MAC address..."
  drag_to_fields
  edit_field 3
  type_keys 4242
  wait_fact editor-text 4242
  edit_field 1
  wait_fact "text 3" 4242
  type_keys 127.0.0.1
  wait_fact editor-text 127.0.0.1
  end_edit
  wait_fact "text 1" 127.0.0.1
  tap_send
  sleep 0.5 # the status says what it said before: nothing to wait for
  drag_to_fields
  # Right of the text, which is all that Send's repaint drew of the field.
  local left top right bottom
  read -r left top right bottom <<<"$(fact "element 1")"
  tap_screen $((right - (right - left) / 4)) $(((top + bottom) / 2))
  wait_fact editor 1
  type_keys 0
  wait_fact editor-text 127.0.0.10
  kill -TERM "$pid"
  wait_for_exit
  [ "$exit_status" -eq 0 ] || fail "SIGTERM ended the program with status $exit_status"
  stored_fields 127.0.0.10 "" 4242 "$settings" || fail "SIGTERM lost the text of the open editor"
}

# Run, not sourced by its own session: sets up and starts the session under Xvfb.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  bin=$1
  tests=$(cd "$bin/../tests" && pwd)
  for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || fail "$tool is needed"
  done
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/program" "$work/device"
  cp "$bin/dawnbell" "$bin/dawnbell-screen" "$work/program/"
  cp -r "$bin/resources" "$work/program/"
  export device_width=800 device_height=480 xclose=$tests/xclose
  here=$(cd "$(dirname "$0")" && pwd)
  xvfb-run -a -s '-screen 0 800x480x24' bash -c 'set -euo pipefail; source "$1"; session "$2"' \
    session "$here/$(basename "$0")" "$work"
  echo "the panel's fields keep taking taps, and SIGTERM keeps the open edit"
fi
