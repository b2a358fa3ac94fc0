# What every end-to-end script starts with: `. "$(dirname "$0")/lib.sh"` right after its `set`
# line. The script's first argument is the pennacrow-cli to test, as CTest passes it.
#
#   cli      that program
#   work     a scratch directory, removed on exit, and the current directory
#   fail     records a failure and carries on, so one run reports every broken case
#   die      records a failure and stops (a later step depends on this one)
#   expect_exit N ARGS...   runs the program with ARGS and no input; fails unless it exits N
#   finish   the last line: exit 1 if anything failed, else print the script's name and "ok"

cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

die() {
  echo "FAIL: $*" >&2
  exit 1
}

expect_exit() {
  local want=$1
  shift
  set +e
  "$cli" "$@" </dev/null >/dev/null 2>msg
  local got=$?
  set -e
  [ "$got" = "$want" ] || fail "$* gave exit $got: $(cat msg)"
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
  fi
  echo "$(basename "$0" .sh): ok"
  exit 0
}
