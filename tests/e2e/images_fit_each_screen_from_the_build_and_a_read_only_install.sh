#!/usr/bin/env bash
# One build, as a new user meets it: the small phone, then the VGA phone started from the build,
# then `cmake --install` of that build run from a prefix it can't write to, small phone and VGA
# phone again. Each start finds every image at the size its screen needs: the small phone's in
# the device's own copy (beside its settings, named for the screen) at half size, the VGA phone's
# in the program's set, which stays exactly as the build drew it. The install also holds the
# .desktop entry, the AppStream metadata and the icons.
# Usage: images_fit_each_screen_from_the_build_and_a_read_only_install.sh BIN_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
build=$(cd "$bin/.." && pwd)
source "$(dirname "$0")/scratch.bash"
sums() { (cd "$1" && md5sum -- *.png); }
sums "$bin/resources/VGA" >"$work/drawn.txt"

# Starts PROGRAM (with its image set PROGRAM_SET) on the small and the VGA phone for the user
# whose state folder is STATE, each until its first picture is shown, and checks the images each
# screen uses against DRAWN, the sums of the set as the build drew it.
cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
program=$1 program_set=$2 state=$3 drawn=$4
start() {
  XDG_STATE_HOME=$state DAWNBELL_SCREEN=$1 DAWNBELL_DPI=$2 DAWNBELL_BACKEND=sdl \
    DAWNBELL_CONNMGR=connected DAWNBELL_END_AFTER_FIRST_PICTURE=1 \
    timeout 30 "$program" >"$state.log" 2>&1 || { cat "$state.log"; echo "the $1 start failed"; exit 1; }
}
width() { identify -format %w "$1/btn_common_normal.png"; }
full=$(width "$program_set")
start 240x320 96
copy=$state/dawnbell/resources/240x320-96dpi/VGA
[ -f "$copy/AlreadyScalled.txt" ] || { echo "the small phone did not rescale its own copy"; exit 1; }
[ "$(width "$copy")" -eq $((full / 2)) ] || { echo "the small phone's images are not half size"; exit 1; }
start 480x640 192
(cd "$program_set" && md5sum -- *.png) | cmp -s - "$drawn" ||
  { echo "the program's own images are not as drawn after the small and VGA phones"; exit 1; }
SESSION
unset DAWNBELL_DEVICE_DIR
xvfb-run -a -s '-screen 0 800x700x24' bash "$work/session.sh" "$bin/dawnbell" \
  "$bin/resources/VGA" "$work/build-user" "$work/drawn.txt" || fail "started from the build"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix=$work/prefix
for file in bin/dawnbell lib/dawnbell/dawnbell lib/dawnbell/dawnbell-screen \
            lib/dawnbell/resources/VGA/HelveticaNeueOTS.TTF \
            share/applications/io.github.dawnbell.dawnbell.desktop share/metainfo/io.github.dawnbell.dawnbell.metainfo.xml \
            share/icons/hicolor/48x48/apps/dawnbell.png share/icons/hicolor/256x256/apps/dawnbell.png \
            share/doc/dawnbell/copyright; do
  [ -e "$prefix/$file" ] || fail "$file is not installed"
done
[ ! -e "$prefix/lib/dawnbell/resources/VGA/AlreadyScalled.txt" ] || fail "a rescaling marker is installed"
(cd "$prefix" && find . -type f -exec md5sum {} + | sort) >"$work/before.txt"

# The prefix read-only even for root: a read-only bind mount of it, in a mount namespace of this
# test's own.
run_installed() {
  xvfb-run -a -s '-screen 0 800x700x24' bash "$work/session.sh" "$prefix/bin/dawnbell" \
    "$prefix/lib/dawnbell/resources/VGA" "$work/installed-user" "$work/drawn.txt"
}
if [ "$(id -u)" -eq 0 ]; then
  export -f run_installed
  export prefix work
  unshare -m bash -c 'mount --bind "$prefix" "$prefix" && mount -o remount,bind,ro "$prefix" && run_installed' ||
    fail "started from the install"
else
  chmod -R a-w "$prefix"
  run_installed || fail "started from the install"
  chmod -R u+w "$prefix"
fi
(cd "$prefix" && find . -type f -exec md5sum {} + | sort) >"$work/after.txt"
cmp -s "$work/before.txt" "$work/after.txt" || fail "the installed files changed"
echo "every screen found its images at its size, from the build and from the install"
