#!/usr/bin/env bash
# The built `dawnbell wake` as a script or a launcher runs it: the process loads nothing of the
# screen (no SDL, no fonts, no images); in a network of the test's own, a name from the
# network's /etc/netns/<ns>/ethers wakes a sleeping card through the limited broadcast, a name
# that also resolves through its network's broadcast, and the desktop entry that
# `launcher add` writes passes desktop-file-validate and its Exec line wakes the card too.
# Usage: command_line_wakes_a_sleeping_card_with_nothing_of_the_screen.sh BIN_DIR
set -euo pipefail
readonly skipped=77
bin=$(cd "$1" && pwd)
tests=$(cd "$bin/../tests" && pwd)
source "$(dirname "$0")/scratch.bash"
export DAWNBELL_DEVICE_DIR=$work/device XDG_DATA_HOME=$work/data

# Every shared object the process maps, as the dynamic loader reports it.
LD_DEBUG=libs "$bin/dawnbell" wake --dry-run 00:11:22:33:44:55 -i 127.0.0.1 \
  >"$work/dry.out" 2>"$work/loader.log" || { cat "$work/loader.log"; fail "the dry run"; }
grep -q 'calling init: .*libc.so' "$work/loader.log" || fail "LD_DEBUG showed no library at all"
if grep -Ei 'calling init: .*lib(SDL2|freetype|fontconfig|png|X11|wayland)' "$work/loader.log"; then
  fail "dawnbell wake loads a library of the screen"
fi
grep -qx '00:11:22:33:44:55: would send 102 bytes for 00:11:22:33:44:55 to 127.0.0.1:9' \
  "$work/dry.out" || fail "the dry run printed $(cat "$work/dry.out")"

[ "$(id -u)" -eq 0 ] || { echo "skipped: network namespaces need root"; exit $skipped; }
command -v ip >/dev/null || { echo "skipped: ip (iproute2) is needed"; exit $skipped; }
need desktop-file-validate
lan=dawnbell-e2e-$$-lan card=dawnbell-e2e-$$-card
made_ethers=""
trap 'ip netns del "$lan" 2>/dev/null; ip netns del "$card" 2>/dev/null; rm -rf "/etc/netns/$lan" "$work"
      [ -z "$made_ethers" ] || rm -f /etc/ethers' EXIT
# `ip netns exec` puts the network's own files over the machine's, which must be there.
[ -e /etc/ethers ] || { : >/etc/ethers && made_ethers=yes; }
ip netns add "$lan"
ip netns add "$card"
ip -n "$lan" link add lan0 type veth peer name eth0 netns "$card"
ip -n "$lan" addr add 10.77.0.1/24 dev lan0
ip -n "$lan" link set lan0 up
ip -n "$card" link set eth0 up
mkdir -p "/etc/netns/$lan"
printf '00:11:22:33:44:55 sleeper\n00:11:22:33:44:66 named\n' >"/etc/netns/$lan/ethers"
printf '127.0.0.1 localhost\n10.77.0.2 named\n' >"/etc/netns/$lan/hosts"

# Runs "$@" in the sender's network while the card reads its wire; prints where the packet went.
wake_and_read() {
  rm -f "$work/seen" "$work/ready"
  mkfifo "$work/ready"
  ip netns exec "$card" "$tests/wire_reader" eth0 "$work/seen" 10 "$work/ready" &
  local reader=$!
  read -r _ <"$work/ready"
  ip netns exec "$lan" "$@" >"$work/wake.log" 2>&1 || { cat "$work/wake.log"; fail "$* failed"; }
  wait "$reader" || fail "no magic packet reached the card for $*"
  cat "$work/seen"
}

[ "$(wake_and_read "$bin/dawnbell" wake sleeper)" = 255.255.255.255 ] ||
  fail "a name without an address did not go to the limited broadcast"
[ "$(wake_and_read "$bin/dawnbell" wake named)" = 10.77.0.255 ] ||
  fail "a name with an address did not go to its network's broadcast"
ip netns exec "$lan" "$bin/dawnbell" list | grep -qx $'named\t00:11:22:33:44:66\t9' ||
  fail "the recent list does not hold the named computer"

entry=$(ip netns exec "$lan" "$bin/dawnbell" launcher add sleeper)
[ "$entry" = "$XDG_DATA_HOME/applications/dawnbell-wake-sleeper.desktop" ] || fail "launcher at $entry"
desktop-file-validate "$entry" || fail "the launcher's desktop entry"
grep -qx 'Name=Wake sleeper' "$entry" || fail "the launcher's name"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[ "$(eval "wake_and_read $exec_line")" = 255.255.255.255 ] || fail "the launcher's Exec line"
ip netns exec "$lan" "$bin/dawnbell" launcher remove sleeper
[ ! -e "$entry" ] || fail "launcher remove left the entry"
echo "the command line wakes a sleeping card with nothing of the screen"
