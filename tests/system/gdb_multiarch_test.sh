#!/usr/bin/env bash
# gdb-multiarch against board-sim --gdb, on the phone, in batch mode.
#   irq:  a breakpoint in the tick handler (rtc_interruption): `bt` shows the
#         interrupted function below the handler, `monitor irq` names where
#         the handler returns, and a tbreak there stops in the interrupted
#         code, back in supervisor mode; `monitor reg` shows the TICK request
#         pending in INTPND while the handler runs.
#   window: the window under Xvfb with gdb, key 2 pressed with xdotool,
#         reaches `tbreak llamada`; gdb's kill ends the run.
#   term: the terminal mode with gdb: the board waits for gdb, then runs with
#         the keypad in hand: Ctrl-K 2 (main menu line 3) reaches
#         `tbreak llamada`, the terminal says that gdb holds the board, and
#         gdb's kill ends the run.
# Usage: gdb_multiarch_test.sh BIN_DIR irq|term|window. Exit 77 (skipped) without
# gdb-multiarch (or tmux for term, xvfb-run and xdotool for window).
set -u

bin=$(cd "$1" && pwd)
mode=$2
command -v gdb-multiarch >/dev/null || { echo "SKIP: gdb-multiarch is not installed (scripts/setup.sh installs it)"; exit 77; }
tmp=$(mktemp -d)
pid=
server="board-sim-gdb-$$"
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ "$mode" = term ] && tmux -L "$server" kill-server 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  for f in "$tmp"/*.txt; do echo "--- $f"; cat "$f"; done
  exit 1
}
# The port board-sim printed in FILE, waiting up to 10 s.
port_in() {
  for _ in $(seq 100); do
    p=$(grep -o 'waiting for gdb on 127\.0\.0\.1:[0-9]*' "$1" 2>/dev/null | head -1 | sed 's/.*://')
    [ -n "$p" ] && { echo "$p"; return 0; }
    sleep 0.1
  done
  return 1
}

# gdb waiting in `llamada`, reached from the main menu with key 2.
gdb_to_llamada() {
  timeout 120 gdb-multiarch -batch -nx "$bin/phone.elf" -ex "target remote :$1" -ex "tbreak llamada" \
    -ex "continue" -ex "bt 1" -ex "kill" >"$tmp/gdb.txt" 2>&1
}

if [ "$mode" = irq ]; then
  "$bin/board-sim" --ui none --gdb 0 --eeprom "$tmp/eeprom.bin" "$bin/phone.elf" >"$tmp/stdout.txt" 2>"$tmp/stderr.txt" &
  pid=$!
  port=$(port_in "$tmp/stderr.txt") || fail "board-sim did not say where to connect"
  timeout 120 gdb-multiarch -batch -nx "$bin/phone.elf" \
    -ex "target remote :$port" \
    -ex "break rtc_interruption" \
    -ex "continue" \
    -ex "bt" \
    -ex "monitor reg INTPND" \
    -ex "monitor regs uart0" \
    -ex "python irq = gdb.execute('monitor irq', to_string=True); print(irq)" \
    -ex "delete" \
    -ex "python import re; gdb.execute('tbreak *' + re.search(r'tbreak \*(0x[0-9A-Fa-f]+)', irq).group(1))" \
    -ex "continue" \
    -ex "python print('stopped at %d, mode 0x%x' % (int(gdb.parse_and_eval('\$pc')), int(gdb.parse_and_eval('\$cpsr')) & 0x1f))" \
    -ex "kill" >"$tmp/gdb.txt" 2>&1 || fail "gdb-multiarch failed"
  wait "$pid"
  pid=
  grep -q '^Breakpoint 1, rtc_interruption' "$tmp/gdb.txt" || fail "the breakpoint in the handler was not hit"
  grep -Eq '^#0 +rtc_interruption' "$tmp/gdb.txt" || fail "bt does not start in the handler"
  # The interrupted function, as the board saw it, is frame #1 (or one of the
  # frames inlined there).
  fn=$(sed -n 's/^interrupted: pc 0x[0-9A-F]* (\([A-Za-z_0-9]*\).*/\1/p' "$tmp/gdb.txt")
  [ -n "$fn" ] || fail "monitor irq did not name the interrupted code"
  grep -Eq "^#[1-9] .*\\b$fn \\(" "$tmp/gdb.txt" || fail "bt does not show $fn below the handler"
  pending=$(sed -n 's/^INTPND *01e00004  0x\([0-9a-f]*\)$/\1/p' "$tmp/gdb.txt")
  [ -n "$pending" ] && (( (16#$pending >> 20) & 1 )) || fail "INTPND does not show the TICK request"
  grep -q '^URXH0      01d00024  0x' "$tmp/gdb.txt" || fail "monitor regs uart0 lacks URXH0"
  target=$(sed -n 's/.*tbreak \*0x\([0-9A-F]*\), then continue.*/\1/p' "$tmp/gdb.txt" | head -1)
  grep -q "^stopped at $((16#$target)), mode 0x13$" "$tmp/gdb.txt" ||
    fail "the tbreak did not stop at 0x$target in supervisor mode"
  echo "PASS"
  exit 0
fi

if [ "$mode" = window ]; then
  for tool in xvfb-run xdotool; do
    command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  # Under xvfb-run: board-sim's window, gdb waiting in `llamada`, and key 2
  # (main menu line 3, the keyboard's '3') pressed until gdb stops there.
  { echo "bin='$bin' tmp='$tmp'"; declare -f port_in gdb_to_llamada; } >"$tmp/run.sh"
  cat >>"$tmp/run.sh" <<EOF
"$bin/board-sim" --ui sdl --gdb 0 --eeprom "$tmp/eeprom.bin" "$bin/phone.elf" >"$tmp/stdout.txt" 2>"$tmp/stderr.txt" &
board=\$!
port=\$(port_in "$tmp/stderr.txt") || exit 11
gdb_to_llamada \$port &
gdb=\$!
for _ in \$(seq 300); do
  kill -0 \$gdb 2>/dev/null || break
  window=\$(xdotool search --name "board-sim" 2>/dev/null | head -1)
  [ -n "\$window" ] && xdotool key --window "\$window" 3 2>/dev/null
  sleep 0.3
done
wait \$gdb || exit 12
wait \$board
echo "board-sim exit=\$?" >"$tmp/exit.txt"
EOF
  timeout 140 xvfb-run -a bash "$tmp/run.sh" || fail "the window run failed"
  grep -q '^Temporary breakpoint 1, llamada' "$tmp/gdb.txt" || fail "gdb did not stop in llamada"
  grep -q '^board-sim exit=0$' "$tmp/exit.txt" || fail "board-sim did not end with gdb's kill"
  echo "PASS"
  exit 0
fi

command -v tmux >/dev/null || { echo "SKIP: tmux is not installed (scripts/setup.sh installs it)"; exit 77; }
tmux -L "$server" -f /dev/null new-session -d -s phone -x 100 -y 50 \
  "'$bin/board-sim' --ui term --gdb 0 --eeprom '$tmp/eeprom.bin' '$bin/phone.elf' 2>'$tmp/stderr.txt'; echo \"board-sim exit=\$?\"; sleep 60"
screen() { tmux -L "$server" capture-pane -p -t phone -S - -E -; }
expect_lines() {
  for _ in $(seq 100); do
    screen | grep -Eq "$1" && return 0
    sleep 0.1
  done
  screen >"$tmp/terminal.txt"
  fail "no line matches /$1/"
}
expect_lines '^-- waiting for gdb on 127\.0\.0\.1:[0-9]+; virtual time stands still --$'
port=$(port_in "$tmp/stderr.txt") || fail "board-sim did not say where to connect"
gdb_to_llamada "$port" &
gdb_pid=$!
expect_lines '^-- gdb lets the board run --$'
expect_lines '^ *3\. Llamar$'
tmux -L "$server" send-keys -t phone C-k 2
expect_lines '^-- stopped by gdb at 0x[0-9A-F]+ \(llamada\); virtual time stands still --$'
wait "$gdb_pid" || fail "gdb-multiarch failed"
grep -q '^Temporary breakpoint 1, llamada' "$tmp/gdb.txt" || fail "gdb did not stop in llamada"
expect_lines '^board-sim exit=0$'
echo "PASS"
