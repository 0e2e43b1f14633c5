#!/bin/bash
# docs/grading.md's recipe for grading a class on a lab's machines (GNU
# parallel over ssh), taken from the page as printed and run with parallel's
# own login for this machine (-S : in place of --sshloginfile lab.txt): two
# submissions, one of them no ELF, against a suite of two scenarios, one of
# which fails. Skipped (77) without GNU parallel.
#
#   check_grading_parallel.sh BIN_DIR OUT_DIR
set -u
bin=$1
out=$2/grading-parallel
page=$(cd "$(dirname "$0")/../.." && pwd)/docs/grading.md
command -v parallel >/dev/null 2>&1 || { echo "SKIP: GNU parallel is not installed (scripts/setup.sh installs it)"; exit 77; }
rm -rf "$out"
mkdir -p "$out/submissions/good" "$out/submissions/broken" "$out/suite"
cp "$bin/phone.elf" "$out/submissions/good/phone.elf"
printf 'not an ELF\n' >"$out/submissions/broken/phone.elf"
printf 'wait 1s\nexpect lcd "1. Agenda"\n' >"$out/suite/menu.scn"
printf 'wait 1s\nexpect lcd "Nunca" within 100ms\n' >"$out/suite/never.scn"
cd "$out" || exit 1

fail() { echo "FAIL: $*"; exit 1; }

# The recipe: from its `parallel --sshloginfile` line to its `:::` line.
recipe=$(sed -n '/^parallel --sshloginfile lab.txt /,/^  ::: /p' "$page")
[ -n "$recipe" ] || fail "no 'parallel --sshloginfile lab.txt' recipe in $page"
recipe=${recipe/parallel --sshloginfile lab.txt /parallel --will-cite -S : }
echo "$recipe"
SIM=$bin/board-sim
eval "$recipe" 2>parallel.err
status=$?

# Three runs fail: the broken firmware's two, and the scenario that fails.
[ "$status" -eq 3 ] || fail "parallel's status is $status, expected 3 (runs that failed); stderr: $(cat parallel.err)"
grep -q 'failures="0"' results/good/menu.xml || fail "good/menu.xml does not pass: $(cat results/good/menu.xml)"
grep -q '<failure' results/good/never.xml || fail "good/never.xml has no failure"
for s in menu never; do
  grep -q '<error' "results/broken/$s.xml" || fail "broken/$s.xml has no error"
  grep -q 'not an ELF' "results/broken/$s.log" || fail "broken/$s.log does not say why"
done
[ -z "$(find results -name '*.eeprom')" ] || fail "EEPROM files were left behind"
echo passed
