#!/usr/bin/env bash
# The device as the real screen (DAWNBELL_SCREEN=native) on a 720 x 1440 phone display and an
# 800 x 480 touch panel: the window fills the display, the phone shows a 360-pixel-wide device
# at scale 2 and the panel its own pixels, the question's Yes button takes a click at the
# window's scale, every widget of the phone fits across its screen (the panel's two columns are
# checked by wide_native_screens_show_send_beside_the_fields_and_wake_with_no_scroll.sh), and
# closing ends the program cleanly.
# With DAWNBELL_PICTURE_DIR set, the main screens are kept there as phone.png and panel.png.
# Usage: native_screen_fills_a_phone_and_a_panel.sh BIN_DIR
set -euo pipefail
source "$(dirname "$0")/wake_scenario.bash"
bin=$1
tests=$(cd "$bin/../tests" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
source "$1"
program=$2 work=$3 name=$4
export DAWNBELL_SCREEN=native DAWNBELL_DEVICE_DIR=$work/$name DAWNBELL_CONNMGR=connected
start_program "$program" "$work/$name.log"
answer_yes
if [ "$name" = phone ]; then
  check_screen_fits
  read -r _ _ right _ <<<"$(fact "element 1")"
  [ "$right" -gt $((device_width * 3 / 4)) ] || fail "the first field ends at $right of $device_width"
fi
if [ -n "${DAWNBELL_PICTURE_DIR:-}" ]; then
  steady_picture "$work/$name.png"
  cp "$work/$name.png" "$DAWNBELL_PICTURE_DIR/$name.png"
fi
"$xclose" "$window"
wait_for_exit
[ "$exit_status" -eq 0 ] || fail "closing ended the program with status $exit_status"
SESSION

export xclose=$tests/xclose
for display in "720x1440 360x720 phone" "800x480 800x480 panel"; do
  read -r size device name <<<"$display"
  export device_width=${device%x*} device_height=${device#*x}
  xvfb-run -a -s "-screen 0 ${size}x24" bash "$work/session.sh" \
    "$(dirname "$0")/wake_scenario.bash" "$bin/dawnbell" "$work" "$name" ||
    fail "the native screen on the ${size} display"
done
echo "native screen fills a phone and a panel"
