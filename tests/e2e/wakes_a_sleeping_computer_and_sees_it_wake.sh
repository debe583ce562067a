#!/usr/bin/env bash
# A computer sleeps on the phone's local network: its card is up but has no address, so it
# answers no address lookup and a packet to its address alone never reaches it. The real program,
# in a real X server inside a network of the test's own (a network namespace, and the card's
# namespace joined to it by a veth pair), wakes it with a tap on Send: the card reads the magic
# packet sent to the network's broadcast address. Then the computer comes up (its card takes its
# address) and the status line's second line turns from the waiting time to the awake text; the
# send's confirmation stays on its first line all along.
# Usage: wakes_a_sleeping_computer_and_sees_it_wake.sh BIN_DIR
set -euo pipefail

readonly skipped=77
readonly sleeping_host=10.77.0.2 sleeping_mac=00:1a:2b:3c:4d:5e

# In the network of the test's own, in the X server: the user's steps.
wake_the_sleeping_computer() {
  local work=$1 tests=$2 card=$3
  ip netns exec "$card" "$tests/wire_reader" eth0 "$work/seen" 30 &
  local reader=$!
  start_program "$work/program/dawnbell" "$work/run.log"
  answer_yes
  edit_field 1
  type_keys "$sleeping_host"
  edit_field 2
  type_keys "$sleeping_mac"
  edit_field 3
  type_keys 9
  end_edit
  tap_rect "$(fact "element 4")"
  wait_fact "text 6" "Magic packet sended ;-) (also to 10.77.0.255)"
  wait "$reader" || fail "no magic packet reached the sleeping card"
  [ "$(cat "$work/seen")" = 10.77.0.255 ] || fail "the card read it sent to $(cat "$work/seen")"
  # The send's confirmation stays on the first line, the check's progress under it.
  wait_fact "text 6" "Magic packet sended ;-) (also to 10.77.0.255)|Waiting for the computer to wake... 1 s"
  picture waiting
  status_picture "$work" waiting
  ip -n "$card" addr add "$sleeping_host/24" dev eth0 # the computer woke
  wait_fact "text 6" "Magic packet sended ;-) (also to 10.77.0.255)|The computer is awake ;-)"
  picture awake
  status_picture "$work" awake
  "$xclose" "$window"
  wait_for_exit
  [ "$exit_status" -eq 0 ] || fail "closing the window ended the program with status $exit_status"
}

case "${DAWNBELL_E2E_STAGE:-}" in
"")
  [ "$(id -u)" -eq 0 ] || { echo "skipped: network namespaces need root"; exit $skipped; }
  command -v ip >/dev/null || { echo "skipped: ip (iproute2) is needed"; exit $skipped; }
  DAWNBELL_E2E_STAGE=network exec unshare -n bash "$0" "$@"
  ;;
network)
  bin=$1
  tests=$(cd "$bin/../tests" && pwd)
  card=dawnbell-e2e-$$-card
  work=$(mktemp -d)
  trap 'ip netns del "$card" 2>/dev/null || true; rm -rf "$work"' EXIT
  ip link set lo up
  ip netns add "$card"
  ip link add lan0 type veth peer name eth0 netns "$card"
  ip addr add 10.77.0.1/24 dev lan0
  ip link set lan0 up
  ip -n "$card" link set lo up
  ip -n "$card" link set eth0 up
  mkdir -p "$work/program" "$work/device"
  cp "$bin/dawnbell" "$bin/dawnbell-screen" "$work/program/"
  cp -r "$bin/resources" "$work/program/"
  # The VGA phone, unless the environment names another (for pictures of the small one).
  screen=${DAWNBELL_SCREEN:-480x640}
  export DAWNBELL_SCREEN=$screen DAWNBELL_DPI=${DAWNBELL_DPI:-192} \
    DAWNBELL_DEVICE_DIR=$work/device DAWNBELL_CONNMGR=connected \
    device_width=${screen%x*} device_height=${screen#*x} xclose=$tests/xclose
  started=$SECONDS
  xvfb-run -a -s '-screen 0 800x700x24' env DAWNBELL_E2E_STAGE=screen bash "$0" "$work" "$tests" "$card"
  echo "woke a sleeping computer and saw it wake in $((SECONDS - started)) s"
  ;;
screen)
  source "$(dirname "$0")/wake_scenario.bash"
  wake_the_sleeping_computer "$@"
  ;;
esac
