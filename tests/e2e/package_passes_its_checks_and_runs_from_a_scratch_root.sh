#!/usr/bin/env bash
# `make package` in short: CPack builds the .deb of this build; its desktop entry and AppStream
# metadata pass their validators, lintian finds no error in it, it holds exactly what
# `cmake --install` installs, and unpacked into a scratch root (dpkg -x) the program starts from
# there and shows its first picture, its command answers, and its manual page reads.
# Usage: package_passes_its_checks_and_runs_from_a_scratch_root.sh BIN_DIR
set -euo pipefail
build=$(cd "$1/.." && pwd)
source "$(dirname "$0")/scratch.bash"
need cpack dpkg-deb lintian appstreamcli desktop-file-validate xvfb-run man

umask 022
(cd "$build" && cpack -B "$work/package" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/package/dawnbell_*.deb)
dpkg -x "$deb" "$work/root"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/io.github.dawnbell.dawnbell.metainfo.xml" ||
  fail "the AppStream metadata"
# The desktop entry is named after the AppStream id, as the metadata's launchable says.
metainfo=$work/root/usr/share/metainfo/io.github.dawnbell.dawnbell.metainfo.xml
id=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$metainfo")
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
entry=$work/root/usr/share/applications/$id.desktop
[ "$launchable" = "$id.desktop" ] && [ -f "$entry" ] ||
  fail "the desktop entry is not named after the AppStream id $id (launchable: $launchable)"
desktop-file-validate "$entry" || fail "the desktop entry"
grep -qx 'X-Purism-FormFactor=Workstation;Mobile;' "$entry" ||
  fail "the desktop entry does not ask for the phone's app grid"
grep -qx 'Exec=dawnbell wake --last' "$entry" ||
  fail "the desktop entry has no action that wakes the last computer"
lintian --fail-on error "$deb" || fail "lintian"
man -l "$work/root/usr/share/man/man1/dawnbell.1.gz" 2>&1 | grep -q 'dawnbell wake \[OPTION\]' ||
  fail "the manual page does not read"
DAWNBELL_DEVICE_DIR=$work/state "$work/root/usr/bin/dawnbell" wake -n -i 127.0.0.1 00:11:22:33:44:55 |
  grep -q 'would send 102 bytes' || fail "the installed command's dry run"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
diff <(cd "$work/prefix" && find . -type f | sort) <(cd "$work/root/usr" && find . -type f | sort) ||
  fail "the package and cmake --install hold different files"

XDG_STATE_HOME=$work/state DAWNBELL_BACKEND=sdl DAWNBELL_CONNMGR=connected \
  DAWNBELL_END_AFTER_FIRST_PICTURE=1 timeout 30 \
  xvfb-run -a -s '-screen 0 800x700x24' "$work/root/usr/bin/dawnbell" >"$work/run.log" 2>&1 ||
  { cat "$work/run.log"; fail "the program unpacked from the package did not show its picture"; }
echo "the package passes its checks and runs from a scratch root"
