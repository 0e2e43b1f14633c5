#!/usr/bin/env bash
# The window end to end under Xvfb: phone.elf in board-sim's window, driven
# by xdotool, read back from the window's own screenshots (F12).
#   - the window shows the phone's main menu;
#   - keyboard key "1" (keypad key 0) opens "1. Agenda";
#   - a mouse press on the drawn key 15 goes back to the main menu;
#   - recording a message lights the right LED in the drawing, not the left,
#     and the 7-segment digit stays dark.
# Usage: window_test.sh BIN_DIR. Exit 77 (skipped) without Xvfb or xdotool, or
# when board-sim was built without SDL2.
set -u

bin=$(cd "$1" && pwd)
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/setup.sh installs it)"; exit 77; }
done

tmp=$(mktemp -d)
xvfb=""
sim=""
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  echo "--- board-sim's stderr:"; grep -v ': bus: ' "$tmp/stderr.txt" 2>/dev/null | tail -20
  [ -n "${last_shot:-}" ] && { echo "--- the last screenshot reads:"; "$bin/window-shot" "$bin/phone.elf" "$last_shot"; }
  exit 1
}

# A free display of our own.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || { echo "SKIP: Xvfb did not start: $(tail -1 "$tmp/xvfb.log")"; exit 77; }
export DISPLAY=":$(head -1 "$tmp/display")"

cd "$tmp"
SDL_AUDIODRIVER=dummy "$bin/board-sim" --ui sdl --eeprom "$tmp/eeprom.bin" "$bin/phone.elf" \
  </dev/null >"$tmp/console.txt" 2>"$tmp/stderr.txt" &
sim=$!

window=""
for _ in $(seq 100); do
  window=$(xdotool search --name '^board-sim: ' 2>/dev/null | head -1)
  [ -n "$window" ] && break
  if ! kill -0 "$sim" 2>/dev/null || grep -q "no window" "$tmp/stderr.txt"; then
    grep -q "no window" "$tmp/stderr.txt" && { echo "SKIP: board-sim has no window in this build"; exit 77; }
    fail "board-sim ended before its window appeared"
  fi
  sleep 0.1
done
[ -n "$window" ] || fail "no board-sim window on $DISPLAY"
# Without a window manager the keyboard goes to the window under the pointer.
xdotool mousemove --window "$window" 20 20

shots=0
last_shot=""
shoot() {
  shots=$((shots + 1))
  local file
  file=$(printf 'board-sim-%03d.png' "$shots")
  xdotool key F12
  for _ in $(seq 50); do [ -s "$file" ] && break; sleep 0.05; done
  [ -s "$file" ] || fail "F12 wrote no $file"
  last_shot="$tmp/$file"
  sleep 0.05  # the PNG is renamed into place whole; give the reader a settled file
}

# Shoots until the window shows `pattern` (a grep -E line of window-shot's
# output), for up to 15 s of wall time: the board runs in real time.
expect_shot() {
  for _ in $(seq 30); do
    shoot
    "$bin/window-shot" "$bin/phone.elf" "$last_shot" | grep -Eq "$1" && return 0
    sleep 0.4
  done
  fail "the window never showed /$1/"
}

# A keyboard key held 150 ms, as a person types.
press() { xdotool keydown "$1"; sleep 0.15; xdotool keyup "$1"; }

expect_shot '^18 79 1 1\. Agenda$'
expect_shot '^18 151 1 5\. Contestador$'
"$bin/window-shot" "$bin/phone.elf" "$last_shot" | grep -qx 'led 9 off' || fail "the left LED is drawn lit at start"

press 1
expect_shot '^18 79 1 1\. Anadir contacto$'

read -r x y < <("$bin/window-shot" --key-centre 15 "$last_shot")
xdotool mousemove --window "$window" "$x" "$y" mousedown 1
sleep 0.15
xdotool mouseup 1
expect_shot '^18 79 1 1\. Agenda$'

press q
expect_shot '^18 79 1 1\. Cambiar Contestador$'
press 1
expect_shot '^led 10 on$'
out=$("$bin/window-shot" "$bin/phone.elf" "$last_shot")
grep -q 'GRABANDO' <<<"$out" || fail "the right LED is lit but the screen does not say GRABANDO"
grep -qx 'led 9 off' <<<"$out" || fail "the left LED is drawn lit while recording"
grep -qx 'segments -' <<<"$out" || fail "the 7-segment digit is drawn lit: $(grep segments <<<"$out")"

kill -0 "$sim" 2>/dev/null || fail "board-sim died"
echo "window test passed ($shots screenshots)"
