#!/usr/bin/env bash
# The real windows, used as a person would, under Xvfb: the native Windows
# build (icon_look.exe, cross-built with mingw-w64) under Wine, and the SDL2
# icon_look. Each must show the lit, textured model, turn it on a left drag,
# switch to the glossy ramp on F2, and end with exit code 0 on Esc and on a
# close request from the window system. Screenshots and logs stay in build/e2e.
#
#   scripts/e2e-windows.sh [LINUX_BUILD_DIR]     (default build/test)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

scripts/install-deps.sh
scripts/install-deps.sh g++-mingw-w64-x86-64 wine wine64 xvfb xdotool imagemagick python3-xlib

linux_build="${1:-build/test}"
windows_build="build/windows"
out="$root/build/e2e"
prefix="$root/build/wine-prefix"
rm -rf "$out"
mkdir -p "$out"

last_shot=""  # the screenshot last taken, described on failure
fail() {
  echo "e2e: FAILED: $*" >&2
  if [ -n "$last_shot" ]; then echo "last seen: $(describe "$last_shot")" >&2; fi
  exit 1
}

configure() {
  local dir="$1"; shift
  mkdir -p "$dir"
  cmake -S . -B "$dir" -DICON_LOOK_WERROR=ON "$@" > "$dir/configure.log" 2>&1 || {
    cat "$dir/configure.log"; fail "configuring $dir"; }
}

echo "-- building icon_look.exe (mingw-w64) and icon_look (SDL2)"
configure "$windows_build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release
cmake --build "$windows_build" -j "$(nproc)" > "$out/build-windows.log" 2>&1 || {
  cat "$out/build-windows.log"; fail "building icon_look.exe"; }
[ -f "$linux_build/CMakeCache.txt" ] || configure "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$linux_build" -j "$(nproc)" --target icon_look icon_look_headless \
  > "$out/build-linux.log" 2>&1 || {
  cat "$out/build-linux.log"; fail "building icon_look"; }

# --- the program under test ---

app=""       # name of the run: logs and screenshots are $out/$app.*
app_pid=""
window=""    # its X window: the client area
width=0
height=0     # the drawable height: the client's bottom row is not drawn

# Message boxes the program opened: the SDL2 backend prints "Error: TEXT";
# Wine's msgbox channel traces the text, and the box is a window titled "Error".
message_boxes() {
  grep -h '^Error: ' "$out/$app.stderr" 2>/dev/null || true
  grep -h 'trace:msgbox:' "$out/$app.stderr" 2>/dev/null |
    sed -e 's/^[^"]*"//' -e 's/"$//' -e 's/\\\([0-9a-f]\{4\}\)/\\u\1/g' |
    while IFS= read -r text; do LC_ALL=C.UTF-8 printf 'Error: %b\n' "$text"; done
  if xdotool search --name '^Error$' > /dev/null 2>&1; then echo "a window titled \"Error\" is open"; fi
}

check_running() {
  local boxes
  boxes="$(message_boxes)"
  [ -z "$boxes" ] || fail "$app showed a message box:"$'\n'"$boxes"
  if ! kill -0 "$app_pid" 2> /dev/null; then
    local code=0
    wait "$app_pid" || code=$?
    app_pid=""
    cat "$out/$app.stderr" >&2
    fail "$app ended by itself with exit code $code"
  fi
}

# wait_until SECONDS WHAT COMMAND...: polls COMMAND until it succeeds, for at
# most SECONDS, failing early if the program shows a message box or ends.
wait_until() {
  local limit="$1" what="$2"; shift 2
  local end=$((SECONDS + limit))
  until "$@"; do
    check_running
    [ "$SECONDS" -lt "$end" ] || fail "$app: $what, not within $limit s"
    sleep 0.1
  done
}

find_window() {
  window="$(xdotool search --onlyvisible --name '^TEST$' 2> /dev/null | head -n 1)"
  [ -n "$window" ]
}

# start NAME COMMAND...: runs the program from the project root and waits for
# its window titled "TEST".
start() {
  app="$1"; shift
  "$@" > "$out/$app.stdout" 2> "$out/$app.stderr" &
  app_pid=$!
  wait_until 30 "no window titled \"TEST\"" find_window
  local size
  size="$(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: *//p')"
  width="${size%x*}"
  height=$((${size#*x} - 1))
  echo "-- $app: window $window, client $size"
}

# shot NAME: the drawable area as $out/$app-NAME.png.
shot() {
  local file="$out/$app-$1.png"
  import -window "$window" -crop "${width}x$height+0+0" +repage "$file" 2> /dev/null &&
    last_shot="$file"
}

# reap SECONDS HOW [COMMAND...]: waits at most SECONDS for the program to end,
# running COMMAND (if given) on each turn; fails unless it ended with exit code 0.
reap() {
  local limit="$1" how="$2"; shift 2
  local end=$((SECONDS + limit))
  while kill -0 "$app_pid" 2> /dev/null; do
    [ "$SECONDS" -lt "$end" ] || fail "$app did not end within $limit s of $how"
    [ $# -eq 0 ] || "$@"
    sleep 0.1
  done
  local code=0
  wait "$app_pid" || code=$?
  app_pid=""
  [ "$code" -eq 0 ] || { cat "$out/$app.stderr" >&2; fail "$app ended on $how with exit code $code"; }
}

finish() {
  reap 5 "$1"
  local boxes
  boxes="$(message_boxes)"
  [ -z "$boxes" ] || fail "$app showed a message box:"$'\n'"$boxes"
  echo "-- $app: $1 ended it with exit code 0"
}

# What a window manager sends when the user closes a window: WM_DELETE_WINDOW.
request_close() {
  /usr/bin/python3 - "$window" <<'PYTHON'
import sys
from Xlib import X, display, protocol
d = display.Display()
w = d.create_resource_object("window", int(sys.argv[1]))
w.send_event(protocol.event.ClientMessage(
    window=w, client_type=d.intern_atom("WM_PROTOCOLS"),
    data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0])))
d.sync()
PYTHON
}

# --- reading the screenshots ---

# share FILE PERCENT: how many pixels in a thousand are brighter than PERCENT grey.
share() {
  convert "$1" -colorspace Gray -threshold "$2%" -format '%[fx:round(1000*mean)]' info:
}
colours() {
  identify -format '%k' "$1"
}
# The height of the box around everything that is not black.
model_height() {
  convert "$1" -fuzz 5% -format '%@' info: 2> /dev/null | sed 's/^[0-9]*x\([0-9]*\).*/\1/'
}
describe() {
  echo "$1: $(share "$1" 5) per mille lit, $(share "$1" 96) per mille white," \
    "$(colours "$1") colours, model $(model_height "$1") pixels high"
}

# The model is on screen: a fair share of lit pixels in many colours (a
# textured, shaded surface, not a flat fill or the black clear colour).
model_shown() {
  shot "$1" || return 1
  local file="$out/$app-$1.png"
  [ "$(share "$file" 5)" -ge 20 ] && [ "$(colours "$file")" -ge 32 ]
}

# --- what a person does ---

focus() {
  timeout 5 xdotool windowfocus --sync "$window" || fail "$app: the window takes no keyboard focus"
}

# A left drag of 256 pixels downwards turns the model a quarter turn about its
# x axis: the upright model then lies along the line of sight, much shorter.
drag_turns_model() {
  shot before-drag
  local before
  before="$(model_height "$last_shot")"
  local moves=""
  for _ in $(seq 32); do moves+=" mousemove_relative 0 8 sleep 0.03"; done
  # shellcheck disable=SC2086  # the moves are separate xdotool commands
  xdotool mousemove --window "$window" $((width / 2)) 40 sleep 0.1 mousedown 1 sleep 0.1 \
    $moves sleep 0.2 mouseup 1 sleep 0.2
  shot after-drag
  local after
  after="$(model_height "$last_shot")"
  [ $((after * 10)) -le $((before * 7)) ] ||
    fail "$app: the drag did not turn the model (model $before pixels high before, $after after)"
  echo "-- $app: the drag turned the model ($before pixels high before, $after after)"
}

# F2 selects the glossy ramp, whose highlights saturate: the model, hardly ever
# white under the soft ramp, turns largely white once the circling light faces
# it (within a turn of the light: 256 frames, 5 s at 50 frames a second).
white=0
wanted=0
glossy_shots=0
glossy_white() {
  glossy_shots=$((glossy_shots + 1))
  shot "glossy-$glossy_shots" && white="$(share "$last_shot" 96)" && [ "$white" -ge "$wanted" ]
}
f2_selects_glossy() {
  local soft=0 i
  for i in 1 2 3 4 5 6; do
    check_running
    shot "soft-$i"
    white="$(share "$last_shot" 96)"
    [ "$white" -le "$soft" ] || soft="$white"
    sleep 0.4
  done
  xdotool keydown F2 sleep 0.3 keyup F2
  wanted=$((soft + 10 > 2 * soft ? soft + 10 : 2 * soft))
  glossy_shots=0
  wait_until 15 "F2 did not brighten the highlights (white per mille: at most $soft under the soft ramp, $wanted wanted)" glossy_white
  echo "-- $app: F2 brightened the highlights (white per mille: at most $soft soft, $white glossy)"
}

# exact_frames: the window shows, pixel for pixel, frames the headless runner
# draws: two different ones (the figure has moved on), each found among the
# runner's first 1,000 frames. A capture taken while the window was being
# drawn matches no frame: up to four are taken.
exact_frames() {
  local try frame first=""
  for try in 1 2 3 4; do
    sleep 0.7
    shot "exact-$try" || fail "$app: no screenshot"
    frame="$(scripts/match-frame.py "$linux_build/icon_look_headless" "$root" \
      "${width}x$((height + 1))" "$out/$app-exact-$try.png" 1000 2> "$out/$app-exact-$try.match")" ||
      continue
    if [ -z "$first" ]; then
      first="$frame"
    elif [ "$frame" != "$first" ]; then
      echo "-- $app: it showed the headless runner's frames $first and $frame, pixel for pixel"
      return
    fi
  done
  fail "$app: its screenshots are not two frames of the headless runner:"$'\n'"$(cat "$out/$app"-exact-*.match)"
}

# run_and_escape NAME COMMAND...: the whole visit, ended with Esc.
run_and_escape() {
  start "$@"
  wait_until 15 "the model is not on screen" model_shown first
  exact_frames
  focus
  f2_selects_glossy
  drag_turns_model
  xdotool key Escape
  finish "Esc"
}

# run_and_close NAME COMMAND...: ended by closing the window.
run_and_close() {
  start "$@"
  wait_until 15 "the model is not on screen" model_shown first
  request_close
  finish "a close request"
}

# The program's debug output, a step a line, as Wine traced it.
traced_steps() {
  grep -o 'OutputDebugStringA "[^"]*"' "$out/$app.stderr" | sed 's/^[^"]*"//; s/"$//'
}

# release_steps_ran COUNT: under Wine the program's debug output is traced:
# Esc leaves without the release sequence, a close runs it once, to the end.
release_steps_ran() {
  local steps ran
  steps="$(traced_steps)"
  ran="$(grep -c '^release: fb_release$' <<< "$steps" || true)"
  if [ "$ran" -ne "$1" ] || { [ "$1" -gt 0 ] && [ "$(tail -n 1 <<< "$steps")" != "release: fb_release" ]; }; then
    fail "$app: the release sequence ran $ran times, not $1; the steps traced:"$'\n'"$steps"
  fi
}

# run_flood_and_close NAME COMMAND...: while the program is stopped, 1,200 mouse
# moves pile up, then a close request: once it runs again the close must not
# be lost behind them.
run_flood_and_close() {
  start "$@"
  wait_until 15 "the model is not on screen" model_shown first
  xdotool mousemove --window "$window" $((width / 2)) $((height / 2))
  kill -STOP "$app_pid"
  local moves="" i
  for ((i = 0; i < 600; i++)); do moves+=" mousemove_relative -- 1 0 mousemove_relative -- -1 0"; done
  # shellcheck disable=SC2086  # the moves are separate xdotool commands
  xdotool $moves
  request_close
  sleep 0.3
  kill -CONT "$app_pid"
  finish "a close behind 1,200 moves"
}

# The X window of an open message box (titled "Error"), if there is one.
open_box() {
  xdotool search --name '^Error$' 2> /dev/null | head -n 1
}

# Answers an open message box, if there is one, with Enter.
answer_box() {
  local box
  box="$(open_box)" || true
  if [ -n "$box" ]; then
    xdotool windowfocus --sync "$box" 2> /dev/null && xdotool key Return 2> /dev/null || true
    sleep 1
  fi
}

# close_during_box NAME COMMAND...: started where there is no data, icon_look.exe
# shows its start-up message boxes before its window; asked to close while the
# first is up (by taskkill, as another program may ask), it must finish
# start-up, then close and release once, with exit code 0. Each box is
# answered with Enter.
close_during_box() {
  app="$1"; shift
  local empty="$out/$app-empty"
  mkdir -p "$empty"
  (cd "$empty" && exec "$@") > "$out/$app.stdout" 2> "$out/$app.stderr" &
  app_pid=$!
  local end=$((SECONDS + 30))
  until [ -n "$(open_box)" ]; do
    kill -0 "$app_pid" 2> /dev/null || fail "$app ended before its first message box"
    [ "$SECONDS" -lt "$end" ] || fail "$app: no message box within 30 s"
    sleep 0.1
  done
  # taskkill without /f posts WM_CLOSE to the window, still hidden: it is being made.
  WINEDEBUG=-all "${wine[@]}" taskkill /im icon_look.exe > "$out/$app.taskkill" 2>&1 ||
    fail "$app: taskkill found no window to close: $(cat "$out/$app.taskkill")"
  sleep 0.5
  reap 30 "a close during a box" answer_box
  local steps
  steps="$(traced_steps)"
  if [ "$(grep -m 1 '^release: ' <<< "$steps")" != "release: anim_release" ] ||
    [ "$(grep -B 1 -m 1 '^release: ' <<< "$steps" | head -n 1)" != "start-up: cam_set_light_colour" ]; then
    fail "$app: the close did not wait for the end of start-up; the steps traced:"$'\n'"$steps"
  fi
  echo "-- $app: a close during a start-up box waited for start-up, then ended it with exit code 0"
}

# --- the display and Wine ---

xvfb_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2> /dev/null || true; fi
  WINEPREFIX="$prefix" wineserver -k 2> /dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2> /dev/null || true; fi
}
trap cleanup EXIT

# -noreset: by default the server starts over each time its last client
# leaves, which the next window may meet as it opens (once, a window found no
# display right after the one before it had closed).
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3> "$out/display" \
  2> "$out/xvfb.log" &
xvfb_pid=$!
end=$((SECONDS + 10))
until [ -s "$out/display" ]; do
  [ "$SECONDS" -lt "$end" ] || { cat "$out/xvfb.log"; fail "Xvfb did not start"; }
  sleep 0.1
done
DISPLAY=":$(head -n 1 "$out/display")"
export DISPLAY

# A prefix of our own, made once and kept in the build tree. No Mono or Gecko
# (nothing asks to install them), no debug output but the message boxes and
# the program's own, and the Japanese code page, so that the Shift-JIS texts
# of the message boxes come out right.
export WINEPREFIX="$prefix" WINEDEBUG="-all,+msgbox,+debugstr" WINEDLLOVERRIDES="mscoree,mshtml="
wine=(env LC_ALL=ja_JP.UTF-8 wine)
if [ ! -f "$prefix/system.reg" ]; then
  echo "-- making the Wine prefix (once): $prefix"
  { timeout 300 env LC_ALL=ja_JP.UTF-8 wineboot --init && timeout 60 wineserver -w; } \
    > "$out/wineboot.log" 2>&1 || {
    cat "$out/wineboot.log"; rm -rf "$prefix"; fail "making the Wine prefix"; }
fi

run_and_escape wine "${wine[@]}" "$windows_build/icon_look.exe"
release_steps_ran 0
run_and_close wine-close "${wine[@]}" "$windows_build/icon_look.exe"
release_steps_ran 1
close_during_box wine-box "${wine[@]}" "$root/$windows_build/icon_look.exe"
release_steps_ran 1
run_and_escape sdl "$linux_build/icon_look"
run_and_close sdl-close "$linux_build/icon_look"
run_flood_and_close sdl-flood "$linux_build/icon_look"
if [ -s "$out/sdl.stdout" ] || [ -s "$out/sdl-close.stdout" ]; then
  fail "icon_look wrote to stdout: $(cat "$out"/sdl*.stdout)"
fi
echo "-- the real windows passed"
