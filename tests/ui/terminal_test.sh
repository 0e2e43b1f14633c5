#!/usr/bin/env bash
# The terminal mode end to end in tmux: phone.elf under `board-sim --ui term`.
#   - the main menu's text is printed;
#   - Ctrl-K 0 (keypad key 0) opens "1. Agenda";
#   - Ctrl-K 1 5 (key 15, two digits) goes back to the main menu;
#   - Ctrl-K q ends the run with status 0.
# Usage: terminal_test.sh BIN_DIR. Exit 77 (skipped) without tmux.
set -u

bin=$(cd "$1" && pwd)
command -v tmux >/dev/null || { echo "SKIP: tmux is not installed (scripts/setup.sh installs it)"; exit 77; }

tmp=$(mktemp -d)
server="board-sim-test-$$"  # a tmux server of our own: nobody else's sessions are touched
cleanup() {
  tmux -L "$server" kill-server 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

tmux -L "$server" -f /dev/null new-session -d -s phone -x 100 -y 50 \
  "'$bin/board-sim' --ui term --eeprom '$tmp/eeprom.bin' '$bin/phone.elf' 2>'$tmp/stderr.txt'; echo \"board-sim exit=\$?\"; sleep 60"

screen() { tmux -L "$server" capture-pane -p -t phone -S - -E -; }
fail() {
  echo "FAIL: $*"
  echo "--- the terminal shows:"; screen | grep -v '^$' | tail -40
  exit 1
}
# Waits up to 10 s (wall time; the board runs in real time) until the
# terminal shows `count` lines matching `pattern` (grep -E).
expect_lines() {
  for _ in $(seq 100); do
    screen | grep -Eq "$1" && return 0
    sleep 0.1
  done
  fail "no line matches /$1/"
}
# The same for the last LCD block printed.
expect_last_block() {
  for _ in $(seq 100); do
    screen | awk '/^== LCD /{block=""} {block=block $0 "\n"} END{printf "%s", block}' | grep -Eq "$1" && return 0
    sleep 0.1
  done
  fail "the last LCD block has no line matching /$1/"
}

expect_lines '^board-sim: Ctrl-K 0\.\.15 keypad key'
expect_last_block '^ *1\. Agenda$'
expect_last_block '^ *5\. Contestador$'

tmux -L "$server" send-keys -t phone C-k 0
expect_last_block '^ *1\. Anadir contacto$'
expect_last_block '^ *15\. Atras$'

tmux -L "$server" send-keys -t phone C-k 1 5
expect_last_block '^ *1\. Agenda$'

tmux -L "$server" send-keys -t phone C-k q
expect_lines '^board-sim exit=0$'

# A program without a font: the block still shows the LEDs and the digit, and
# board-sim's note (stderr on the same terminal) does not run into the
# console's unfinished line.
tmux -L "$server" -f /dev/null new-session -d -s lab -x 100 -y 50 \
  "'$bin/board-sim' --ui term --eeprom-off '$bin/segs_leds.elf'; echo \"board-sim exit=\$?\"; sleep 60"
screen() { tmux -L "$server" capture-pane -p -t lab -S - -E -; }
expect_last_block '^== LCD =+ LED PB9 ON  PB10 off  7-seg 4 ==$'
expect_last_block "needs the firmware's .font. table"
expect_lines '^board-sim: board: the program has finished'
screen | grep -q 'prompt> board-sim' && fail "the note ran into the console's line"
tmux -L "$server" send-keys -t lab C-k l
tmux -L "$server" send-keys -t lab C-k q
expect_lines '^board-sim exit=0$'
[ "$(screen | grep -c '^== LCD .*7-seg 4')" -ge 2 ] || fail "Ctrl-K l printed no block"
echo "terminal test passed"
