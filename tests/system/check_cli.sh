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
#   file-is PATH TEXT       PATH holds exactly TEXT (printf escapes allowed)
#   file-size PATH BYTES    PATH is BYTES long
# Files named in checks are removed first, so a stale one cannot pass.
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

i=0
while [ $i -lt ${#checks[@]} ]; do
  case ${checks[$i]} in
    one-line) i=$((i + 1)) ;;
    file-is | file-size) rm -f "${checks[$((i + 1))]}"; i=$((i + 3)) ;;
    *) echo "check_cli.sh: unknown check '${checks[$i]}'" >&2; exit 2 ;;
  esac
done

stderr_file=$(mktemp)
trap 'rm -f "$stderr_file"' EXIT
"$@" 2>"$stderr_file" >/dev/null
status=$?

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
  esac
done
exit $failed
