#!/bin/bash
# The README's recipe for grading a class on a lab's machines (GNU parallel
# over ssh), run with parallel's own login for this machine (-S :): two
# submissions, one of them no ELF, against a suite of two scenarios, one of
# which fails. Skipped (77) without GNU parallel.
#
#   check_grading_parallel.sh BIN_DIR OUT_DIR
set -u
bin=$1
out=$2/grading-parallel
command -v parallel >/dev/null 2>&1 || { echo "SKIP: GNU parallel is not installed (scripts/setup.sh installs it)"; exit 77; }
rm -rf "$out"
mkdir -p "$out/submissions/good" "$out/submissions/broken" "$out/suite"
cp "$bin/phone.elf" "$out/submissions/good/phone.elf"
printf 'not an ELF\n' >"$out/submissions/broken/phone.elf"
printf 'wait 1s\nexpect lcd "1. Agenda"\n' >"$out/suite/menu.scn"
printf 'wait 1s\nexpect lcd "Nunca" within 100ms\n' >"$out/suite/never.scn"
cd "$out" || exit 1

fail() { echo "FAIL: $*"; exit 1; }

SIM=$bin/board-sim
parallel --will-cite -S : --basefile suite --transferfile {1}/phone.elf \
  --return results/{1/}/{2/.}.xml --return results/{1/}/{2/.}.log --cleanup \
  "mkdir -p results/{1/} && rm -f results/{1/}/{2/.}.eeprom;
   $SIM --ui none --script {2} --eeprom results/{1/}/{2/.}.eeprom \
     --junit results/{1/}/{2/.}.xml {1}/phone.elf >results/{1/}/{2/.}.log 2>&1;
   s=\$?; rm -f results/{1/}/{2/.}.eeprom; exit \$s" \
  ::: submissions/* ::: suite/*.scn 2>parallel.err
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
