#!/usr/bin/env bash
# --record in the terminal mode, end to end in tmux, and the replay:
#   - a session on phone.elf: Agenda, add a contact typed on the console,
#     push-button 0x40, back (Ctrl-K 1 5), quit (Ctrl-K q), recorded;
#   - the recording run with --script on a fresh EEPROM file gives the same
#     final screen (--screenshot, --fb-dump, --lcd-text), console bytes
#     (--uart-out), audio (--audio-out) and EEPROM image, byte for byte.
# Usage: record_test.sh BIN_DIR. Exit 77 (skipped) without tmux.
set -u

bin=$(cd "$1" && pwd)
command -v tmux >/dev/null || { echo "SKIP: tmux is not installed (scripts/setup.sh installs it)"; exit 77; }

tmp=$(mktemp -d)
server="board-sim-record-$$"  # a tmux server of our own
cleanup() {
  tmux -L "$server" kill-server 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

outputs() {  # the outputs of one run, named after it
  echo "--screenshot $tmp/$1.png --fb-dump $tmp/$1.fb --uart-out $tmp/$1.uart --audio-out $tmp/$1.wav --lcd-text"
}
# stdout goes to a file, which the test watches; stdin stays the pane's terminal.
tmux -L "$server" -f /dev/null new-session -d -s phone -x 100 -y 50 \
  "'$bin/board-sim' --ui term --eeprom '$tmp/live.eeprom' --record '$tmp/session.scn' $(outputs live) \
   '$bin/phone.elf' >'$tmp/live.out' 2>'$tmp/live.err'; echo \"exit=\$?\" >'$tmp/live.status'; sleep 60"

fail() {
  echo "FAIL: $*"
  echo "--- the terminal mode printed:"; tail -40 "$tmp/live.out"
  echo "--- stderr:"; cat "$tmp/live.err"
  exit 1
}
# Waits up to 10 s (the board runs in real time) for a line of the file.
expect_in() {
  for _ in $(seq 100); do
    grep -Eq -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "no line of $(basename "$1") matches /$2/"
}
keys() { tmux -L "$server" send-keys -t phone "$@"; }

expect_in "$tmp/live.out" '^ *5\. Contestador$'
keys C-k 0
expect_in "$tmp/live.out" '^ *1\. Anadir contacto$'
keys C-k 0
expect_in "$tmp/live.out" 'Introduzca el Nombre:'
keys A n a Enter
expect_in "$tmp/live.out" 'Introduzca el Numero:'
keys 6 1 2 Enter
expect_in "$tmp/live.out" 'Contacto anadido\.'
keys C-k a
sleep 0.5
keys C-k 1 5
sleep 1
keys C-k q
expect_in "$tmp/live.status" '^exit=0$'

# Held 100 ms, or a few cycles more where the board was busy when it was due.
grep -Eq '^key 0( hold 100(\.[0-9]+)?ms)?$' "$tmp/session.scn" || fail "Ctrl-K 0 is not recorded as 'key 0'"
grep -Eq '^button 0x40( hold 100(\.[0-9]+)?ms)?$' "$tmp/session.scn" || fail "Ctrl-K a is not recorded as 'button 0x40'"
grep -q '^uart "[^"]*\\r"$' "$tmp/session.scn" || fail "Enter is not recorded as \\r in a uart line"

# shellcheck disable=SC2046
"$bin/board-sim" --script "$tmp/session.scn" --eeprom "$tmp/replay.eeprom" $(outputs replay) "$bin/phone.elf" \
  >"$tmp/replay.out" 2>"$tmp/replay.err" || { cat "$tmp/replay.err"; fail "the replay failed"; }

for ext in png fb uart wav eeprom; do
  cmp -s "$tmp/live.$ext" "$tmp/replay.$ext" || fail "the replay's .$ext differs from the session's"
done
lcd_text() { grep -E '^[0-9]+ [0-9]+ [12] ' "$1"; }
[ -n "$(lcd_text "$tmp/replay.out")" ] || fail "the replay printed no --lcd-text"
diff <(lcd_text "$tmp/live.out" | tail -n "$(lcd_text "$tmp/replay.out" | wc -l)") <(lcd_text "$tmp/replay.out") \
  || fail "--lcd-text differs"
echo "record test passed"
