#!/usr/bin/env bash
# `cmake --install` puts the program, its resource set, a .desktop entry and the icons in the
# usual places, and the installed program runs from a prefix it can't write to: on the small
# screen its first start rescales a copy of the resource set kept, with the settings, in the
# user's state folder, and leaves the prefix as it was.
# Usage: installed_program_runs_from_a_read_only_prefix.sh BIN_DIR
set -euo pipefail
bin=$1
build=$(cd "$bin/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix=$work/prefix
for file in bin/dawnbell lib/dawnbell/dawnbell lib/dawnbell/resources/VGA/btn_common_normal.png \
            lib/dawnbell/resources/VGA/HelveticaNeueOTS.TTF share/applications/dawnbell.desktop \
            share/icons/hicolor/48x48/apps/dawnbell.png share/icons/hicolor/256x256/apps/dawnbell.png; do
  [ -e "$prefix/$file" ] || fail "$file is not installed"
done
grep -qx 'Exec=dawnbell' "$prefix/share/applications/dawnbell.desktop" || fail "the .desktop entry does not start dawnbell"
(cd "$prefix" && find . -type f -exec md5sum {} + | sort) >"$work/before.txt"

cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
prefix=$1; work=$2; xclose=$3
export HOME="$work/home" XDG_STATE_HOME="$work/state" DAWNBELL_BACKEND=sdl DAWNBELL_CONNMGR=connected
export DAWNBELL_SCREEN=240x320 DAWNBELL_DPI=96
unset DAWNBELL_DEVICE_DIR
mkdir -p "$HOME"
touch "$prefix/lib/dawnbell/resources/VGA/probe" 2>/dev/null && { echo "the prefix is writable"; exit 1; }
"$prefix/bin/dawnbell" >"$work/out.log" 2>&1 &
pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Dawnbell$' | head -n 1)
[ -n "$window" ] || { echo "no Dawnbell window"; cat "$work/out.log"; exit 1; }
"$xclose" "$window"
status=0
timeout 20 tail --pid="$pid" -f /dev/null || { echo "did not end after close"; kill "$pid"; exit 1; }
wait "$pid" || status=$?
[ "$status" -eq 0 ] || { echo "exit status $status"; cat "$work/out.log"; exit 1; }
SESSION

# The prefix read-only even for root: a read-only bind mount of it, in a mount namespace of this
# test's own.
run_session() {
  xvfb-run -a -s '-screen 0 800x700x24' bash "$work/session.sh" "$prefix" "$work" "$bin/../tests/xclose"
}
if [ "$(id -u)" -eq 0 ]; then
  export -f run_session
  export prefix work bin
  unshare -m bash -c 'mount --bind "$prefix" "$prefix" && mount -o remount,bind,ro "$prefix" && run_session'
else
  chmod -R a-w "$prefix"
  run_session
  chmod -R u+w "$prefix"
fi

copy=$work/state/dawnbell/program
[ -x "$copy/dawnbell" ] || fail "no copy of the program in the state folder"
[ -f "$copy/resources/VGA/AlreadyScalled.txt" ] || fail "the first small start did not rescale the copy"
[ -f "$work/state/dawnbell/registry.reg" ] || fail "no settings in the state folder"
(cd "$prefix" && find . -type f -exec md5sum {} + | sort) >"$work/after.txt"
cmp -s "$work/before.txt" "$work/after.txt" || fail "the installed files changed"
echo "installed program test passed"
