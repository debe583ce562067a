#!/usr/bin/env bash
# The same as wakes_a_computer_on_the_vga_phone.sh on the small phone (240 x 320, 96 dpi): the
# first start rescales the device's copy of the images once, every widget fits across the screen, and the
# second start leaves the images as they are.
# Usage: wakes_a_computer_on_the_small_phone.sh BIN_DIR
set -euo pipefail
source "$(dirname "$0")/wake_scenario.bash"
wake_a_computer 240x320 96 "$1"
