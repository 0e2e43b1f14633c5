#!/usr/bin/env bash
# What one short graded run costs before and after the board runs: a whole
# `board-sim --until 0s --ui none` of the phone, started RUNS times; prints
# the fastest and the median wall time (the fastest is what the machine can
# do; the median shows what other load made of it).
#
#   scripts/bench-startup.sh BIN_DIR [RUNS]
set -euo pipefail
bin=${1:?usage: bench-startup.sh BIN_DIR [RUNS]}
runs=${2:-30}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
python3 - "$bin" "$runs" "$scratch" <<'PY'
import statistics, subprocess, sys, time
bin_dir, runs, scratch = sys.argv[1], int(sys.argv[2]), sys.argv[3]
cmd = [bin_dir + "/board-sim", "--until", "0s", "--ui", "none", "--eeprom", scratch + "/e.bin",
       bin_dir + "/phone.elf"]
times = []
for _ in range(runs):
    t = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    times.append((time.perf_counter() - t) * 1000)
print("board-sim --until 0s --ui none phone.elf: fastest %.1f ms, median %.1f ms (%d runs)"
      % (min(times), statistics.median(times), runs))
PY
