#!/usr/bin/env bash
# What one short graded run costs before and after the board runs: a whole
# `board-sim --until 0s --ui none` of the phone, started RUNS times; prints
# the fastest and the median wall time (the fastest is what the machine can
# do; the median shows what other load made of it). Then a whole
# `board-sim --script` process of the ten-digit call (44.1 s of virtual
# time, the keys of bench-core's scenario), start-up included, in virtual
# seconds per wall second. Then a kernel's time past its start: mini-kernel
# booted from the flash (a 100 Hz tick, an idle loop in IDLE, a console
# driven by interrupts) for a minute of virtual time, its console answering
# a command every second.
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

script = scratch + "/call.scn"
with open(script, "w") as f:
    f.write("wait 1100ms\n")
    for k in [2, 0, 1, 2, 4, 5, 6, 8, 9, 10, 13, 14]:
        f.write("key %d hold 100ms\nwait 150ms\n" % k)
    f.write("wait 40s\n")
cmd = [bin_dir + "/board-sim", "--script", script, "--ui", "none", "--eeprom", scratch + "/e.bin",
       bin_dir + "/phone.elf"]
virtual = 1.1 + 12 * 0.25 + 40
times = []
for _ in range(max(3, runs // 3)):
    t = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    times.append(time.perf_counter() - t)
print("board-sim --script, the ten-digit call (%.1f s), whole process: fastest %.3f s (%.0fx real time), "
      "median %.3f s (%.0fx; goal: at least 300x)"
      % (virtual, min(times), virtual / min(times), statistics.median(times), virtual / statistics.median(times)))

script = scratch + "/kernel.scn"
with open(script, "w") as f:
    f.write('expect uart "mk> " within 100ms\n')
    for _ in range(60):
        f.write('uart "uptime\\r"\nexpect uart "mk> "\nwait 1s\n')
cmd = [bin_dir + "/board-sim", "--script", script, "--ui", "none", "--flash", bin_dir + "/mini-kernel.bin"]
times = []
for _ in range(3):
    t = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    times.append(time.perf_counter() - t)
print("board-sim --flash mini-kernel.bin, a minute of tick, IDLE and console by interrupts, whole process: "
      "median %.3f s (%.0fx real time; goal: at least 20x)" % (statistics.median(times), 60 / statistics.median(times)))
PY
