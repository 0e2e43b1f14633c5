#!/bin/bash
# A student's first program, built the two ways docs/own-program.md gives:
# its compiler line as printed there, and a copy of examples/hello-board/ with
# its Makefile. The program is ordinary C that needs newlib and libgcc (a
# division by a variable, an initialised array, snprintf); both builds run
# its scenario on board-sim. Exit 77 (skipped) without the cross compiler.
#
#   check_student_build.sh REPO_DIR BIN_DIR OUT_DIR
set -u
repo=$1 bin=$2 out=$3
command -v arm-none-eabi-gcc >/dev/null 2>&1 || { echo "skipped: arm-none-eabi-gcc is not installed"; exit 77; }
command -v make >/dev/null 2>&1 || { echo "skipped: make is not installed"; exit 77; }
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
lab=$repo/tests/system/student
rm -rf "$out"
mkdir -p "$out"

# expect_run NAME ELF: the scenario passes, and main's value is said in one line.
expect_run() {
  "$bin/board-sim" --ui none --script "$lab/lab.scn" --eeprom "$out/$1.eeprom" "$2" >"$out/$1.stdout" 2>"$out/$1.stderr"
  local status=$?
  cat "$out/$1.stderr"
  [ $status -eq 0 ] || fail "$1: board-sim exited with $status"
  grep -Eq "^board-sim: main returned 40 at [0-9.]+m?s of virtual time" "$out/$1.stderr" || fail "$1: main's value not said"
}

# The page's line, as printed (its continuation lines joined), on the lab.
page=$repo/docs/own-program.md
line=$(sed -n '/^arm-none-eabi-gcc /,/[^\\]$/p' "$page" | sed 's/\\$//' | tr '\n' ' ')
[ -n "$line" ] || fail "no arm-none-eabi-gcc line in $page"
line=${line//examples\/hello-board\/hello.c/$lab\/lab.c}
line=${line//-o hello.elf/-o $out\/docs.elf}
echo "$line"
(cd "$repo" && eval "$line") || fail "docs/own-program.md's compiler line does not build the lab"
expect_run docs "$out/docs.elf"

# The Makefile, copied with the example as a student does, the lab in place of hello.c.
mkdir -p "$out/mylab"
cp "$repo"/examples/hello-board/{Makefile,hello-board.ld,syscalls.c,s3c44b0x.h} "$out/mylab/"
cp "$lab/lab.c" "$lab/lab.scn" "$out/mylab/"
make -C "$out/mylab" PROGRAM=lab || fail "the example's Makefile does not build the lab"
expect_run makefile "$out/mylab/lab.elf"
make -C "$out/mylab" PROGRAM=lab BOARD_SIM="$bin/board-sim" test >/dev/null || fail "make test does not pass"
echo ok
