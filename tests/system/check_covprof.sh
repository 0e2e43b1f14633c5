#!/bin/bash
# board-sim's --coverage and --profile files as the tools people use read
# them: lcov --summary and genhtml for the tracefile, callgrind_annotate for
# the profile. Exit 77 (skipped) where a tool is missing.
#
#   check_covprof.sh MODE BIN_DIR OUT_DIR
#
# MODE: calls-lcov, calls-callgrind (the small program of known shape),
# phone-lcov, phone-callgrind (the phone for a few seconds of virtual time).
set -u
mode=$1 bin=$2 out=$3
mkdir -p "$out"

need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
  done
}
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# run NAME ELF BOARD_SIM_ARGS...: board-sim headless, own EEPROM file; a
# halt ("main returned") is how the small program ends.
run() {
  local name=$1 elf=$2
  shift 2
  "$bin/board-sim" --ui none --eeprom "$out/$name.eeprom" "$@" "$elf" >"$out/$name.stdout" 2>"$out/$name.stderr"
  local status=$?
  [ $status -eq 0 ] || [ $status -eq 3 ] || { cat "$out/$name.stderr" >&2; fail "board-sim exited with $status"; }
}

case $mode in
  calls-lcov)
    need lcov genhtml
    rm -rf "$out/calls.info" "$out/calls-html"
    run calls "$bin/calls.elf" --coverage "$out/calls.info"
    summary=$(lcov --summary "$out/calls.info" 2>&1) || { echo "$summary"; fail "lcov --summary rejected the tracefile"; }
    echo "$summary"
    # leaf, middle, swi_handler and main ran; never_called did not.
    grep -q "functions\.*: 80\.0% (4 of 5 functions)" <<<"$summary" || fail "expected 4 of 5 functions hit"
    genhtml --quiet -o "$out/calls-html" "$out/calls.info" || fail "genhtml rejected the tracefile"
    grep -rq "never_called" "$out/calls-html" || fail "genhtml's report does not list never_called"
    ;;
  calls-callgrind)
    need callgrind_annotate
    run calls "$bin/calls.elf" --profile "$out/calls.callgrind"
    report=$(callgrind_annotate --inclusive=yes --threshold=100 "$out/calls.callgrind" 2>&1) ||
      { echo "$report"; fail "callgrind_annotate rejected the profile"; }
    echo "$report"
    # Inclusive instructions: middle 3 x 10, leaf 6 x 3.
    grep -Eq "^ *[0-9,]+ \([0-9. ]+%\) +30 \([0-9. ]+%\) +.*:middle$" <<<"$report" || fail "middle: 30 instructions inclusive"
    grep -Eq "^ *[0-9,]+ \([0-9. ]+%\) +18 \([0-9. ]+%\) +.*:leaf$" <<<"$report" || fail "leaf: 18 instructions inclusive"
    ;;
  phone-lcov)
    need lcov genhtml
    rm -rf "$out/phone-html"
    run phone "$bin/phone.elf" --until 3s --coverage "$out/phone.info"
    summary=$(lcov --summary "$out/phone.info" 2>&1) || { echo "$summary"; fail "lcov --summary rejected the tracefile"; }
    echo "$summary"
    main=$(lcov --extract "$out/phone.info" '*/firmware/main.cpp' -o - 2>/dev/null) || fail "lcov --extract main.cpp"
    grep -q "^FNDA:1,main$" <<<"$main" || fail "main did not run once"
    grep -Eq "^LH:[1-9]" <<<"$main" || fail "no line of main.cpp ran"
    # The file as it is: the toolchain's newlib and libgcc, whose sources
    # are not here, must not stop genhtml.
    genhtml --quiet -o "$out/phone-html" "$out/phone.info" || fail "genhtml rejected the phone's tracefile as it is"
    grep -rq "main.cpp" "$out/phone-html" ||
      fail "genhtml's report does not list main.cpp"
    ;;
  phone-callgrind)
    need callgrind_annotate
    run phone "$bin/phone.elf" --until 3s --profile "$out/phone.callgrind"
    report=$(callgrind_annotate --inclusive=yes --threshold=100 "$out/phone.callgrind" 2>&1) ||
      { echo "$report"; fail "callgrind_annotate rejected the profile"; }
    echo "$report" | head -40
    grep -Eq "^ *[1-9][0-9,]* \([0-9. ]+%\) +[1-9][0-9,]* \([0-9. ]+%\) +.*:rtc_interruption$" <<<"$report" ||
      fail "rtc_interruption has no inclusive cost"
    ;;
  *) fail "unknown mode $mode" ;;
esac
echo "ok"
