#!/usr/bin/env bash
# A user who never read a MAC address: the real program, in a real X server inside a LAN of the
# test's own (the phone's network namespace with a bridge, a computer's namespace on it), taps
# "Search this network"; the computer, up for now, is found with its name (from the phone's
# /etc/netns hosts file) and its MAC address, beside the router. The computer then sleeps (its card keeps no
# address); a tap on its row fills the fields, a tap on Send wakes it: its card reads the magic
# packet.
# Usage: finds_a_computer_on_the_network_and_wakes_it.sh BIN_DIR
set -euo pipefail

readonly skipped=77
readonly computer=10.87.0.10 computer_mac=00:d0:ef:00:00:10

# Drags the list up until the widget ID lies whole within the view.
scroll_until_shown() {
  local top bottom view_top view_bottom
  for _ in 1 2 3 4 5 6; do
    read -r _ top _ bottom <<<"$(fact "element $1")"
    read -r _ view_top _ view_bottom <<<"$(fact view)"
    [ -n "$top" ] && [ "$top" -ge "$view_top" ] && [ "$bottom" -le "$view_bottom" ] && return 0
    drag_up $((device_height / 4))
    sleep 0.3
  done
  fail "element $1 never came into view"
}

# In the phone's network, in the X server: the user's steps.
find_and_wake() {
  local work=$1 tests=$2 card=$3
  start_program "$work/program/dawnbell" "$work/run.log"
  answer_yes
  scroll_until_shown 7
  tap_rect "$(fact "element 7")"
  wait_fact "text 8" "2 computers found on 10.87.0.0/24"
  local maker=""
  [ -f /usr/share/ieee-data/oui.csv ] && maker="   IGT"
  wait_fact "text 301" "pc.lan|$computer   $computer_mac$maker"
  wait_fact "text 302" "10.87.0.254 (router)|10.87.0.254   02:00:00:00:00:fe"
  scroll_until_shown 302
  picture search
  ip -n "$card" addr flush dev eth0 # the computer sleeps
  ip netns exec "$card" "$tests/wire_reader" eth0 "$work/seen" 30 &
  local reader=$!
  tap_rect "$(fact "element 301")"
  wait_fact "text 1" "pc.lan"
  wait_fact "text 2" "$computer_mac"
  wait_fact "text 3" "9"
  wait_fact "text 6" "Ready to send the magic packet !"
  tap_rect "$(fact "element 4")"
  wait_fact "text 6" "Magic packet sended ;-) (also to 10.87.0.255)"
  wait "$reader" || fail "no magic packet reached the sleeping card"
  # The phone still knows the card from the search: the packet to its address reaches it too.
  case "$(cat "$work/seen")" in
  "$computer" | 10.87.0.255) ;;
  *) fail "the card read it sent to $(cat "$work/seen")" ;;
  esac
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
  phone=dawnbell-e2e-$$-phone
  card=dawnbell-e2e-$$-pc
  router=dawnbell-e2e-$$-router
  work=$(mktemp -d)
  trap 'for space in "$card" "$router" "$phone"; do ip netns del "$space" 2>/dev/null || true; done
        rm -rf "$work" "/etc/netns/$phone"' EXIT
  ip netns add "$phone"
  ip netns add "$card"
  ip netns add "$router"
  ip -n "$phone" link set lo up
  ip -n "$phone" link add lan0 type bridge
  ip -n "$phone" addr add 10.87.0.1/24 dev lan0
  ip -n "$phone" link set lan0 up
  ip -n "$phone" link add vpc type veth peer name eth0 netns "$card"
  ip -n "$phone" link set vpc master lan0
  ip -n "$phone" link set vpc up
  ip -n "$card" link set lo up
  ip -n "$card" link set eth0 address "$computer_mac"
  ip -n "$card" link set eth0 up
  ip -n "$card" addr add "$computer/24" dev eth0
  ip -n "$phone" link add vrouter type veth peer name eth0 netns "$router"
  ip -n "$phone" link set vrouter master lan0
  ip -n "$phone" link set vrouter up
  ip -n "$router" link set eth0 address 02:00:00:00:00:fe
  ip -n "$router" link set eth0 up
  ip -n "$router" addr add 10.87.0.254/24 dev eth0
  ip -n "$phone" route add default via 10.87.0.254
  # Silent addresses are given up after one request 10 ms on, not three a second apart.
  ip netns exec "$phone" sh -c 'echo 10 > /proc/sys/net/ipv4/neigh/lan0/retrans_time_ms;
                                echo 1 > /proc/sys/net/ipv4/neigh/lan0/mcast_solicit'
  mkdir -p "/etc/netns/$phone"
  echo "$computer pc.lan" >"/etc/netns/$phone/hosts"
  mkdir -p "$work/program" "$work/device"
  cp "$bin/dawnbell" "$bin/dawnbell-screen" "$work/program/"
  cp -r "$bin/resources" "$work/program/"
  # The VGA phone, unless the environment names another screen: DAWNBELL_SCREEN=native with
  # DAWNBELL_DISPLAY (the X screen) and DAWNBELL_DEVICE (the device it gives) for a real one.
  screen=${DAWNBELL_SCREEN:-480x640}
  device=${DAWNBELL_DEVICE:-$screen}
  export DAWNBELL_SCREEN=$screen DAWNBELL_DPI=${DAWNBELL_DPI:-192} \
    DAWNBELL_DEVICE_DIR=$work/device DAWNBELL_CONNMGR=connected \
    device_width=${device%x*} device_height=${device#*x} xclose=$tests/xclose
  started=$SECONDS
  ip netns exec "$phone" xvfb-run -a -s "-screen 0 ${DAWNBELL_DISPLAY:-800x700}x24" \
    env DAWNBELL_E2E_STAGE=screen bash "$0" "$work" "$tests" "$card"
  echo "found a computer on the network and woke it in $((SECONDS - started)) s"
  ;;
screen)
  source "$(dirname "$0")/wake_scenario.bash"
  find_and_wake "$@"
  ;;
esac
