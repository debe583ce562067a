# Driving the real program in a real X server as a user would, with nothing but XTEST input
# (xdotool): mouse clicks on the screen and on the on-screen keyboard, keys typed on the
# keyboard, the window manager's close button (xclose). Sourced by the end-to-end scripts.
#
# Where to click comes from the program itself: started with DAWNBELL_TEST_REPORT=1 it tells on
# standard output where its widgets, the message box's buttons and the input panel are, and what
# the fields, the editor and the status line hold (app/ScreenReport.h). The on-screen keyboard's
# keys are found in the panel's rectangle by its layout: four rows, eleven units across.

# --- Set-up: the caller exports device_width, device_height and xclose; start_program sets
# --- pid, window, scale and report ---------------------------------------------------------------

# Ends the scenario, and with it the program and the receiver, which would otherwise keep the
# test's output open.
fail() {
  echo "FAIL: $*" >&2
  if [ -n "${report:-}" ] && [ -f "$report" ]; then
    echo "--- what the program reported last:" >&2
    tail -n 40 "$report" >&2
  fi
  [ -z "${pid:-}" ] || kill "$pid" 2>/dev/null || true
  [ -z "${receiver:-}" ] || kill "$receiver" 2>/dev/null || true
  exit 1
}

# Starts PROGRAM with the device of the environment, the report in REPORT_FILE, and waits for
# its window. Sets $pid, $window, $scale (window pixels per screen pixel) and $report.
start_program() {
  local program=$1
  report=$2
  DAWNBELL_BACKEND=sdl DAWNBELL_TEST_REPORT=1 "$program" >"$report" 2>"$report.err" &
  pid=$!
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Dawnbell$' | head -n 1)
  [ -n "$window" ] || fail "no Dawnbell window"
  local WIDTH HEIGHT X Y SCREEN
  eval "$(xdotool getwindowgeometry --shell "$window")"
  scale=$((WIDTH / device_width))
  [ "$scale" -ge 1 ] && [ "$WIDTH" -eq $((device_width * scale)) ] &&
    [ "$HEIGHT" -eq $((device_height * scale)) ] ||
    fail "window ${WIDTH}x${HEIGHT} does not show the ${device_width}x${device_height} screen"
  xdotool windowfocus --sync "$window"
}

# Waits (bounded) for the program to end; sets $exit_status.
wait_for_exit() {
  timeout 20 tail --pid="$pid" -f /dev/null || fail "the program did not end"
  exit_status=0
  wait "$pid" || exit_status=$?
}

# --- What the program reports --------------------------------------------------------------------

# The latest value of a fact ("element 4", "text 6", "box", "editor"); empty if never reported.
fact() {
  local line
  line=$(grep -a "^$1 " "$report" | tail -n 1) || true
  printf '%s' "${line#"$1 "}"
}

# Waits (bounded: 15 s) until the fact has the value.
wait_fact() {
  for _ in $(seq 300); do
    [ "$(fact "$1")" = "$2" ] && return 0
    sleep 0.05
  done
  fail "never saw: $1 = $2 (last: $(fact "$1"))"
}

# The centre of a reported rectangle "left top right bottom", in screen pixels.
centre_of() {
  local left top right bottom
  read -r left top right bottom _ <<<"$1"
  echo "$(((left + right) / 2)) $(((top + bottom) / 2))"
}

# --- Input ---------------------------------------------------------------------------------------

# A click at a screen pixel, wherever the window shows it.
click_screen() {
  xdotool mousemove --window "$window" $(($1 * scale + scale / 2)) $(($2 * scale + scale / 2)) \
    click 1
}

# A tap the toolkit takes as a new tap, not as the second half of a double tap: a user's pause
# comes before it.
tap_screen() {
  sleep 0.4
  click_screen "$1" "$2"
}

# Taps the middle of a reported rectangle.
tap_rect() {
  [ -n "$1" ] || fail "nothing to tap"
  tap_screen $(centre_of "$1")
}

# Clicks the keys of the on-screen keyboard that type TEXT (digits, lower-case letters, '-', ':',
# '.', space). Rows: 1234567890 and backspace; qwertyuiop-; asdfghjkl: and enter; shift,
# zxcvbnm. and a space bar of two units.
click_keys() {
  local text=$1 panel left top right bottom rows=("1234567890" "qwertyuiop-" "asdfghjkl:" "zxcvbnm.")
  panel=$(fact keyboard)
  [ "$panel" != none ] && [ -n "$panel" ] || fail "the keyboard is not shown"
  read -r left top right bottom <<<"$panel"
  local i c row unit units
  for ((i = 0; i < ${#text}; i++)); do
    c=${text:i:1}
    units=1
    if [ "$c" = " " ]; then
      row=3 unit=9 units=2
    else
      for row in 0 1 2 3; do
        local before=${rows[row]%%"$c"*}
        if [ "$before" != "${rows[row]}" ]; then
          unit=${#before}
          [ "$row" -eq 3 ] && unit=$((unit + 1)) # after the shift key
          break
        fi
        row=""
      done
      [ -n "$row" ] || fail "no key types '$c'"
    fi
    local x0=$((left + (right - left) * unit / 11)) x1=$((left + (right - left) * (unit + units) / 11))
    local y0=$((top + (bottom - top) * row / 4)) y1=$((top + (bottom - top) * (row + 1) / 4))
    click_screen $(((x0 + x1) / 2)) $(((y0 + y1) / 2))
  done
}

# Keys typed on the physical keyboard, through the X server.
type_keys() {
  xdotool type --delay 20 "$1"
}

# Drags the content up by DISTANCE screen pixels from the lower part of the view (down from the
# upper part, when DISTANCE is negative) and lets go after resting, so that nothing is flung: the
# list then comes to rest at its end.
drag_up() {
  local distance=$1 view_left view_top view_right view_bottom
  read -r view_left view_top view_right view_bottom <<<"$(fact view)"
  local x=$(((view_left + view_right) / 2)) y=$((view_bottom - (view_bottom - view_top) / 8))
  [ "$distance" -ge 0 ] || y=$((view_top + (view_bottom - view_top) / 8))
  sleep 0.4
  xdotool mousemove --window "$window" $((x * scale)) $((y * scale)) mousedown 1
  local step
  for step in $(seq 1 10); do
    xdotool mousemove --window "$window" $((x * scale)) $(((y - distance * step / 10) * scale))
    sleep 0.03
  done
  sleep 0.5 # resting longer than a fling allows
  xdotool mouseup 1
}

# --- Steps of a user ----------------------------------------------------------------------------

# Drags the content down until the host field lies in the view again, as at a start.
drag_to_fields() {
  local top view_top view_bottom
  read -r _ view_top _ view_bottom <<<"$(fact view)"
  read -r _ top _ _ <<<"$(fact "element 1")"
  [ "$top" -lt "$view_top" ] || return 0
  drag_up $((top - view_top - 10))
  for _ in $(seq 40); do
    read -r _ top _ _ <<<"$(fact "element 1")"
    [ "$top" -ge "$view_top" ] && return 0
    sleep 0.05
  done
  fail "the host field did not come back into sight"
}

# Taps Send, dragging it up into sight first where it lies below the view (a short screen).
tap_send() {
  local bottom view_bottom
  read -r _ _ _ bottom <<<"$(fact "element 4")"
  read -r _ _ _ view_bottom <<<"$(fact view)"
  if [ "$bottom" -gt "$view_bottom" ]; then
    drag_up $((bottom - view_bottom + 10))
    for _ in $(seq 40); do
      read -r _ _ _ bottom <<<"$(fact "element 4")"
      [ "$bottom" -le "$view_bottom" ] && break
      sleep 0.05
    done
    [ "$bottom" -le "$view_bottom" ] || fail "Send did not come into sight"
  fi
  tap_rect "$(fact "element 4")"
}

# Answers the data-connection question with Yes, once the program asks it, and waits until Send
# is enabled.
answer_yes() {
  wait_fact box "Warning !"
  local yes
  yes=$(fact "box-button 1")
  [ "${yes##* }" = Yes ] || fail "the first button of the question is not Yes: $yes"
  tap_rect "$yes"
  wait_fact box none
  wait_fact "text 6" "Ready to send the magic packet !"
  wait_fact send enabled
}

# Taps field ID and waits for its editor.
edit_field() {
  tap_rect "$(fact "element $1")"
  wait_fact editor "$1"
}

# A tap on the header ends the edit.
end_edit() {
  local view_top
  read -r _ view_top _ <<<"$(fact view)"
  tap_screen $((device_width / 2)) $((view_top - 5))
  wait_fact editor none
  wait_fact keyboard none
}

# Drags the list up until it rests at its end, where Quit's bottom meets the view's (the recent
# computers above Quit may make it longer than one drag moves it).
scroll_to_end() {
  local view_bottom quit_bottom="" drag
  read -r _ _ _ view_bottom <<<"$(fact view)"
  for drag in 1 2 3 4; do
    drag_up $((device_height / 2))
    for _ in $(seq 20); do
      read -r _ _ _ quit_bottom <<<"$(fact "element 5")"
      [ "$quit_bottom" -eq "$view_bottom" ] && return 0
      sleep 0.05
    done
  done
  fail "the list did not come to rest at its end"
}

# Quit lies below the view: drags the list to its end and taps Quit; the program must end with
# status 0.
scroll_to_quit_and_tap_it() {
  scroll_to_end
  picture end-of-list
  tap_rect "$(fact "element 5")"
  wait_for_exit
  [ "$exit_status" -eq 0 ] || fail "Quit ended the program with status $exit_status"
}

# --- Pictures ------------------------------------------------------------------------------------

# A picture of the window once it holds still: two pictures 0.2 s apart that are the same.
steady_picture() {
  local file=$1 previous="$1.previous.png"
  import -window "$window" "$previous"
  for _ in $(seq 25); do
    sleep 0.2
    import -window "$window" "$file"
    [ "$(compare -metric AE "$previous" "$file" null: 2>&1)" = "0" ] && return 0
    mv "$file" "$previous"
  done
  fail "the screen never held still"
}

# The part of a picture from the left edge to screen column RIGHT, between screen rows TOP and
# BOTTOM, at the window's scale.
crop_picture() {
  local picture=$1 right=$2 top=$3 bottom=$4 out=$5
  convert "$picture" -crop "$((right * scale))x$(((bottom - top) * scale))+0+$((top * scale))" \
    +repage "$out"
}

# --- The scenario --------------------------------------------------------------------------------

readonly mac_text="00:1a:2b:3c:4d:5e"
readonly host_text="127.0.0.1"

# The magic packet for $mac_text in hex: six 0xff, then the MAC sixteen times.
expected_packet() {
  printf 'ff%.0s' 1 2 3 4 5 6
  for _ in $(seq 16); do printf '%s' "${mac_text//:/}"; done
}

# Whether the settings file holds TEXT as the value NAME: UTF-16LE bytes in the value's hex
# (which may go on over lines ending in a backslash), and the text in the comment line above it.
stored_text() {
  local name=$1 text=$2 settings=$3 expected="" i
  for ((i = 0; i < ${#text}; i++)); do
    expected+=$(printf '%02x,00,' "'${text:i:1}")
  done
  local stored
  stored=$(awk -v start="\"$name\"=hex(1):" \
    'index($0, start) == 1 { on = 1; $0 = substr($0, length(start) + 1) }
     on { print; if ($0 !~ /\\$/) exit }' "$settings" | tr -d ' \\\n')
  [ "$stored," = "$expected" ] && grep -a -x -F "; $name = \"$text\"" "$settings" >/dev/null
}

# Whether the settings file holds HOST, MAC and PORT as the program stores the three texts: one
# value, their lengths first.
stored_fields() {
  stored_text lastFields "${#1} ${#2} ${#3} $1$2$3" "$4"
}

# Every widget of the main screen lies across the screen's width, and the fields keep the same
# margin on both sides.
check_screen_fits() {
  local id left top right bottom
  for id in 1 2 3 9 4 5 6; do
    read -r left top right bottom <<<"$(fact "element $id")"
    [ -n "$left" ] || fail "no widget $id reported"
    [ "$left" -ge 0 ] && [ "$right" -le "$device_width" ] && [ "$right" -gt "$left" ] ||
      fail "widget $id ($left..$right) does not fit across the screen"
  done
  for id in 1 2 3 9; do
    read -r left top right bottom <<<"$(fact "element $id")"
    [ "$left" -eq $((device_width - right)) ] ||
      fail "field $id is not centred: $left px on the left, $((device_width - right)) on the right"
  done
}

# The first run: the question, the three texts typed, the packet, Quit.
first_run() {
  local work=$1 tests=$2
  local port
  "$tests/udp_receiver" "$work/port" "$work/datagram" 60 &
  receiver=$!
  for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
  port=$(cat "$work/port") || fail "the receiver did not start"

  start_program "$work/program/dawnbell" "$work/first.log"
  wait_fact box "Warning !"
  wait_fact "text 6" "Trying to connect..."
  [ "$(fact send)" = disabled ] || fail "Send is enabled before the connection is up"
  local id left top right bottom
  for id in 1 2; do # the box lies on the screen
    read -r left top right bottom _ <<<"$(fact "box-button $id")"
    [ "$left" -ge 0 ] && [ "$right" -le "$device_width" ] && [ "$bottom" -le "$device_height" ] ||
      fail "button $id of the question lies outside the screen"
  done
  picture consent
  answer_yes
  check_screen_fits

  # The host: typed on the keyboard, finished on the screen's keys.
  edit_field 1
  type_keys "127.0.0"
  click_keys ".1"
  wait_fact editor-text "$host_text"
  # The MAC: the screen's keys, a typing slip mended on the keyboard, the rest typed.
  edit_field 2
  wait_fact "text 1" "$host_text"
  click_keys "00:1a:2b:3"
  xdotool key BackSpace
  type_keys "3c:4d:5"
  click_keys "e"
  wait_fact editor-text "$mac_text"
  picture editing
  # The port: the screen's digit keys.
  edit_field 3
  wait_fact "text 2" "$mac_text"
  click_keys "$port"
  wait_fact editor-text "$port"
  end_edit
  wait_fact "text 3" "$port"

  tap_rect "$(fact "element 4")"
  # This machine answers before the packet leaves: it can't be seen waking.
  wait_fact "text 6" "Magic packet sended ;-)|$host_text already answers: it was awake, or it is your router"
  wait "$receiver" || fail "no packet reached the receiver"
  receiver=""
  local packet
  packet=$(od -An -v -tx1 "$work/datagram" | tr -d ' \n')
  [ "$packet" = "$(expected_packet)" ] || fail "the packet is not the magic packet of $mac_text: $packet"
  steady_picture "$work/first-fields.png"
  # Where the fields lay in it: Send brought the status line into sight, which may scroll.
  echo "$(fact "element 1") $(fact "element 3")" >"$work/first-fields-place"
  picture sent
  status_picture "$work" sent

  scroll_to_quit_and_tap_it
  local settings=$work/device/registry.reg
  stored_fields "$host_text" "$mac_text" "$port" "$settings" || fail "the texts are not in the settings"
  echo "$port" >"$work/typed-port"
}

# The second run: no question, the texts back in the fields, the window manager closes it.
second_run() {
  local work=$1
  local port
  port=$(cat "$work/typed-port")
  start_program "$work/program/dawnbell" "$work/second.log"
  wait_fact "text 6" "Ready to send the magic packet !"
  wait_fact send enabled
  grep -a '^box ' "$report" | grep -v -x 'box none' && fail "the question was asked again"
  [ "$(fact "text 1")" = "$host_text" ] && [ "$(fact "text 2")" = "$mac_text" ] &&
    [ "$(fact "text 3")" = "$port" ] || fail "the fields do not hold the saved texts"
  check_screen_fits
  # What the user sees of the fields and their captions is what the first run showed. (The
  # scroll bar at the right edge is left out: it shows at a start, and it hides while a box or the
  # editor has the focus until the list is moved again.)
  steady_picture "$work/second-fields.png"
  local top right bottom first_top first_bottom
  read -r _ top right _ <<<"$(fact "element 1")"
  read -r _ _ _ bottom <<<"$(fact "element 3")"
  read -r _ first_top _ _ _ _ _ first_bottom <"$work/first-fields-place"
  crop_picture "$work/first-fields.png" "$right" "$first_top" "$first_bottom" "$work/first-crop.png"
  crop_picture "$work/second-fields.png" "$right" "$top" "$bottom" "$work/second-crop.png"
  picture restarted
  if [ "$(compare -metric AE "$work/first-crop.png" "$work/second-crop.png" null: 2>&1)" != "0" ]; then
    [ -z "${DAWNBELL_PICTURE_DIR:-}" ] || cp "$work"/*-crop.png "$DAWNBELL_PICTURE_DIR/"
    fail "the fields look different after the restart"
  fi

  "$xclose" "$window"
  wait_for_exit
  [ "$exit_status" -eq 0 ] || fail "closing the window ended the program with status $exit_status"
}

# The images as the first start left them: on a phone narrower than 480 pixels, the device's
# own copy rescaled once to the screen's width (and marked so) while the program's set stays as
# drawn; on the VGA phone the program's set, untouched.
check_first_start_images() {
  local work=$1 original=$2
  local images=$work/program/resources/VGA expected_width
  expected_width=$(identify -format %w "$original/btn_common_normal.png")
  if [ "$device_width" -lt 480 ]; then
    diff <(cd "$original" && md5sum -- *.png) <(cd "$images" && md5sum -- *.png) >/dev/null ||
      fail "the first start on a small phone changed the program's own images"
    images=$work/device/resources/${device_width}x${device_height}-${DAWNBELL_DPI}dpi/VGA
    [ -f "$images/AlreadyScalled.txt" ] || fail "the first start did not mark the images rescaled"
    expected_width=$((expected_width * device_width / 480))
  fi
  echo "$images" >"$work/image-folder"
  [ "$(identify -format %w "$images/btn_common_normal.png")" -eq "$expected_width" ] ||
    fail "the button image is not $expected_width pixels wide after the first start"
  (cd "$images" && md5sum -- *) >"$work/images-after-first-start"
}

# Keeps a picture of the window for a person to look at, when DAWNBELL_PICTURE_DIR names a folder.
picture() {
  [ -n "${DAWNBELL_PICTURE_DIR:-}" ] || return 0
  import -window "$window" "$DAWNBELL_PICTURE_DIR/${device_width}x${device_height}-$1.png"
}

# Keeps the band from the Send button to the status line (WORK is a scratch folder), as above.
status_picture() {
  [ -n "${DAWNBELL_PICTURE_DIR:-}" ] || return 0
  local work=$1 name=$2 top bottom view_bottom
  read -r _ _ _ bottom <<<"$(fact "element 6")"
  read -r _ _ _ view_bottom <<<"$(fact view)"
  if [ $((bottom + 10)) -gt "$view_bottom" ]; then # the lines below the view come into it
    drag_up $((bottom + 10 - view_bottom))
    sleep 1
  fi
  read -r _ top _ _ <<<"$(fact "element 4")"
  read -r _ _ _ bottom <<<"$(fact "element 6")"
  steady_picture "$work/$name-whole.png"
  cp "$work/$name-whole.png" "$DAWNBELL_PICTURE_DIR/${device_width}x${device_height}-$name-scrolled.png"
  crop_picture "$work/$name-whole.png" "$device_width" $((top - 10)) $((bottom + 10)) \
    "$DAWNBELL_PICTURE_DIR/${device_width}x${device_height}-$name-status.png"
}

# The whole scenario on a phone of WIDTHxHEIGHT at DPI, with the program of BIN_DIR copied into a
# fresh folder and a fresh device (a first start on a small screen rescales the device's copy).
wake_a_computer() {
  local screen=$1 dpi=$2 bin=$3
  local tests
  tests=$(cd "$bin/../tests" && pwd)
  for tool in xvfb-run xdotool import compare convert identify od; do
    command -v "$tool" >/dev/null || fail "$tool is needed"
  done
  [ -x "$tests/udp_receiver" ] && [ -x "$tests/xclose" ] || fail "build the tests first"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/program" "$work/device"
  cp "$bin/dawnbell" "$bin/dawnbell-screen" "$work/program/"
  cp -r "$bin/resources" "$work/program/"
  local started=$SECONDS
  export DAWNBELL_SCREEN=$screen DAWNBELL_DPI=$dpi DAWNBELL_DEVICE_DIR=$work/device \
    DAWNBELL_CONNMGR=connected
  export device_width=${screen%x*} device_height=${screen#*x} xclose=$tests/xclose
  local here
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  xvfb-run -a -s '-screen 0 800x700x24' bash -c \
    'set -euo pipefail; source "$1"
     first_run "$2" "$3"
     check_first_start_images "$2" "$4"
     second_run "$2"
     (cd "$(cat "$2/image-folder")" && md5sum -- *) | cmp -s - "$2/images-after-first-start" ||
       fail "the second start changed the images"' \
    session "$here/wake_scenario.bash" "$work" "$tests" "$bin/resources/VGA"
  echo "woke a computer on the ${screen} phone in $((SECONDS - started)) s"
}
