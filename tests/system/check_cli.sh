#!/bin/bash
# Runs a command (board-sim) and checks its exit status, its stderr and the
# files it wrote. Used by ctest for the command-line tests.
#
#   check_cli.sh STATUS STDERR_REGEX [CHECK ...] -- COMMAND [ARG ...]
#
# STDERR_REGEX is an extended regular expression that some line of stderr must
# match, or EMPTY for a run that must print nothing on stderr.
# CHECK is one of
#   one-line                stderr is exactly one line
#   fresh PATH              PATH does not exist when the command starts
#   file-is PATH TEXT       PATH holds exactly TEXT (printf escapes allowed)
#   file-size PATH BYTES    PATH is BYTES long
#   absent PATH             PATH does not exist after the run
#   unchanged PATH          PATH holds after the run what it held before
#   stdout-has TEXT         stdout contains TEXT (a fixed string)
# An argument <empty> of COMMAND is passed as an empty string (CMake drops
# empty list elements).
# Files named in file-is, file-size and absent are removed first, so a stale
# one cannot pass. Set-up steps, done in order before the run:
#   copy SRC DST            cp SRC DST
#   symlink TARGET LINK     ln -sfn TARGET LINK
#   write PATH TEXT         printf TEXT > PATH
#   chmod MODE PATH         chmod MODE PATH
#   mkfifo PATH             a FIFO at PATH
#   signal SIG              the run gets SIG once it has its handlers in place
#                           (SigCgt in /proc), e.g. in the middle of a long wait
set -u

expected_status=$1
pattern=$2
shift 2
checks=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  checks+=("$1")
  shift
done
if [ $# -lt 2 ]; then
  echo "check_cli.sh: expected -- COMMAND after the checks" >&2
  exit 2
fi
shift

snapshots=$(mktemp -d)
trap 'rm -rf "$snapshots"' EXIT
signal=
i=0
while [ $i -lt ${#checks[@]} ]; do
  a=${checks[$((i + 1))]:-}
  b=${checks[$((i + 2))]:-}
  case ${checks[$i]} in
    one-line) i=$((i + 1)) ;;
    file-is | file-size) rm -f "$a"; i=$((i + 3)) ;;
    absent | fresh) rm -f "$a"; i=$((i + 2)) ;;
    unchanged) cp "$a" "$snapshots/$i"; i=$((i + 2)) ;;
    stdout-has) i=$((i + 2)) ;;
    copy) rm -f "$b"; cp "$a" "$b"; i=$((i + 3)) ;;
    symlink) rm -f "$b"; ln -sfn "$a" "$b"; i=$((i + 3)) ;;
    write) rm -f "$a"; printf "$b" >"$a"; i=$((i + 3)) ;;
    chmod) chmod "$a" "$b"; i=$((i + 3)) ;;
    mkfifo) rm -f "$a"; mkfifo "$a"; i=$((i + 2)) ;;
    signal) signal=$a; i=$((i + 2)) ;;
    *) echo "check_cli.sh: unknown check '${checks[$i]}'" >&2; exit 2 ;;
  esac
done

cmd=()
for arg in "$@"; do
  [ "$arg" = "<empty>" ] && arg=
  cmd+=("$arg")
done
set -- "${cmd[@]}"

stderr_file=$snapshots/stderr
stdout_file=$snapshots/stdout
if [ -z "$signal" ]; then
  "$@" 2>"$stderr_file" >"$stdout_file"
  status=$?
else
  "$@" 2>"$stderr_file" >"$stdout_file" &
  pid=$!
  bit=$(( 1 << ($(kill -l "$signal") - 1) ))
  for _ in $(seq 1 500); do
    caught=$(awk '/^SigCgt:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
    [ -n "$caught" ] && [ $(( 0x$caught & bit )) -ne 0 ] && break
    sleep 0.01
  done
  kill -s "$signal" "$pid"
  wait "$pid"
  status=$?
fi

failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}
echo "command: $*"
echo "exit status: $status; stderr:"
cat "$stderr_file"

[ "$status" -eq "$expected_status" ] || fail "exit status $status, expected $expected_status"
if [ "$pattern" = EMPTY ]; then
  [ ! -s "$stderr_file" ] || fail "stderr is not empty"
else
  grep -Eq -- "$pattern" "$stderr_file" || fail "stderr does not match /$pattern/"
fi

i=0
while [ $i -lt ${#checks[@]} ]; do
  case ${checks[$i]} in
    one-line)
      lines=$(wc -l <"$stderr_file")
      [ "$lines" -eq 1 ] || fail "stderr has $lines lines, expected one"
      i=$((i + 1))
      ;;
    file-is)
      path=${checks[$((i + 1))]}
      if [ ! -f "$path" ]; then
        fail "$path was not written"
      elif ! cmp -s "$path" <(printf "${checks[$((i + 2))]}"); then
        fail "$path holds '$(cat -v "$path")', expected '${checks[$((i + 2))]}'"
      fi
      i=$((i + 3))
      ;;
    file-size)
      path=${checks[$((i + 1))]}
      if [ ! -f "$path" ]; then
        fail "$path was not written"
      else
        size=$(stat -c %s "$path")
        [ "$size" -eq "${checks[$((i + 2))]}" ] || fail "$path is $size bytes, expected ${checks[$((i + 2))]}"
      fi
      i=$((i + 3))
      ;;
    absent)
      [ ! -e "${checks[$((i + 1))]}" ] || fail "${checks[$((i + 1))]} was written"
      i=$((i + 2))
      ;;
    unchanged)
      cmp -s "${checks[$((i + 1))]}" "$snapshots/$i" || fail "${checks[$((i + 1))]} was changed"
      i=$((i + 2))
      ;;
    stdout-has)
      grep -Fq -- "${checks[$((i + 1))]}" "$stdout_file" || fail "stdout does not contain '${checks[$((i + 1))]}'"
      i=$((i + 2))
      ;;
    copy | symlink | write | chmod) i=$((i + 3)) ;;
    mkfifo | signal | fresh) i=$((i + 2)) ;;
  esac
done
exit $failed
