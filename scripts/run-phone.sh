#!/usr/bin/env bash
# `make run`: the phone on the simulated board, in the window when there is a
# display, otherwise in the terminal mode. Usage: run-phone.sh BIN_DIR [board-sim options]
# (e.g. --eeprom FILE; the EEPROM defaults to the user's state directory).
set -euo pipefail

bin=${1:-build/bin}
shift || true
sim="$bin/board-sim"
elf="$bin/phone.elf"
for f in "$sim" "$elf"; do
  [ -e "$f" ] || { echo "run-phone: $f is missing; build it with make" >&2; exit 2; }
done

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  # board-sim says so itself and uses the terminal if the window cannot open.
  exec "$sim" --ui sdl "$@" "$elf"
fi
echo "run-phone: no display, so the phone runs in the terminal mode (Ctrl-K then a key number presses a key, Ctrl-K ? for help)"
exec "$sim" --ui term "$@" "$elf"
