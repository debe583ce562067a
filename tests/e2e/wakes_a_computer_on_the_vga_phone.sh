#!/usr/bin/env bash
# A user wakes a computer with the real program on the VGA phone (480 x 640, 192 dpi), in a real
# X server, with mouse clicks and key presses only: answers the data-connection question with
# Yes, types host, MAC and port into the three fields with both the keyboard and the on-screen
# keys, taps Send and the magic packet reaches a receiver on loopback byte for byte; scrolls to
# Quit, which keeps the three texts in the settings file. The next start asks nothing, shows the
# texts in the fields as they were, and the window manager's close button ends it with status 0.
# Usage: wakes_a_computer_on_the_vga_phone.sh BIN_DIR
set -euo pipefail
source "$(dirname "$0")/wake_scenario.bash"
wake_a_computer 480x640 192 "$1"
