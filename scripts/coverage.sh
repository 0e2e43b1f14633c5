#!/usr/bin/env bash
# make coverage: every scenario under examples/ runs on the phone with
# --coverage (each with an erased EEPROM of its own); lcov merges the
# tracefiles and genhtml writes the report.
#
#   scripts/coverage.sh [BIN_DIR [OUT_DIR]]     (default build/bin build/coverage)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath "${1:-$repo/build/bin}")
out=$(realpath -m "${2:-$repo/build/coverage}")
for tool in lcov genhtml; do
  command -v $tool >/dev/null || { echo "coverage: $tool is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
done
shopt -s nullglob
scenarios=("$repo"/examples/*.scn)
[ ${#scenarios[@]} -gt 0 ] || { echo "coverage: no scenario in examples/" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
tracefiles=()
for scn in "${scenarios[@]}"; do
  name=$(basename "$scn" .scn)
  # In the work directory: what a scenario writes (a screenshot) lands there.
  if ! (cd "$work" && "$bin/board-sim" --ui none --script "$scn" --eeprom "$work/$name.eeprom" \
      --coverage "$work/$name.info" "$bin/phone.elf" >"$work/$name.log" 2>&1); then
    # What it ran still counts; the run is reported and make fails at the end.
    echo "coverage: examples/$name.scn failed:" >&2
    grep "^board-sim: " "$work/$name.log" | tail -3 >&2 || true
    status=1
  fi
  [ -s "$work/$name.info" ] && tracefiles+=(--add-tracefile "$work/$name.info")
done
[ ${#tracefiles[@]} -gt 0 ] || { echo "coverage: no tracefile was written" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out"
lcov --quiet "${tracefiles[@]}" --output-file "$work/all.info"
# The phone's own sources only: newlib and libgcc come with the toolchain,
# built elsewhere, and their sources are not on this machine.
lcov --quiet --extract "$work/all.info" '*/firmware/*' --output-file "$out/phone.info"
genhtml --quiet --title "phone.elf: examples/*.scn" --output-directory "$out" "$out/phone.info"
lcov --summary "$out/phone.info"
echo "coverage: ${#scenarios[@]} scenario(s); report in $out/index.html"
exit $status
