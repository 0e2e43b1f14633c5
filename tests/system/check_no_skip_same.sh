#!/bin/bash
# Skipping a wait never changes what a program can observe: runs board-sim
# twice, skipping waits and with --no-skip, and compares byte for byte the
# register trace (cycle stamps included), both UARTs' output, the screen,
# the sound and the exit status. With --reference first, a third run with
# the oracle (--reference) must give the same too.
#
#   check_no_skip_same.sh [--reference] OUT_DIR NAME SCRIPT|DURATION -- BOARD_SIM [ARG ...]
#
# Both runs start the RTC at the same time: the scenario (SCRIPT, or a wait
# of DURATION) gets an `rtc` line first.
set -u
modes=(skip no-skip)
if [ "$1" = "--reference" ]; then
  modes+=(reference)
  shift
fi
out=$1/$2
what=$3
shift 3
[ "$1" = "--" ] && shift
rm -rf "$out"
for mode in "${modes[@]}"; do mkdir -p "$out/$mode"; done
{
  echo "rtc 2030-06-15 12:00:00"
  if [ -f "$what" ]; then cat "$what"; else echo "wait $what"; fi
} > "$out/scenario.scn"
for mode in "${modes[@]}"; do
  extra=()
  [ "$mode" != skip ] && extra=(--$mode)
  d=$out/$mode
  "$@" "${extra[@]}" --script "$out/scenario.scn" --eeprom "$d/eeprom.bin" --trace "$d/trace" --uart-out "$d/uart0" --uart1-out "$d/uart1" \
    --fb-dump "$d/screen" --audio-out "$d/audio.wav" > "$d/stdout" 2> "$d/stderr"
  echo $? > "$d/status"
done
failed=0
for mode in "${modes[@]:1}"; do
  for f in status trace uart0 uart1 screen audio.wav eeprom.bin; do
    [ ! -e "$out/skip/$f" ] && [ ! -e "$out/$mode/$f" ] && continue  # (an EEPROM never written)
    if ! cmp -s "$out/skip/$f" "$out/$mode/$f"; then
      echo "FAIL: $f differs with --$mode" >&2
      cmp "$out/skip/$f" "$out/$mode/$f" | head -3 >&2
      [ "$f" = trace ] && diff <(cat "$out/skip/trace") <(cat "$out/$mode/trace") | head -6 >&2
      failed=1
    fi
  done
done
if [ ! -s "$out/skip/trace" ]; then
  echo "FAIL: the run accessed no register" >&2
  failed=1
fi
[ $failed = 0 ] && echo "the same with and without --no-skip${modes[2]:+ and with --reference}: $(wc -l < "$out/skip/trace") register accesses, status $(cat "$out/skip/status")"
exit $failed
