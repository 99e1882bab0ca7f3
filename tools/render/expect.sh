# Sourced by the renderer's command-line tests: `fail` counts a failure,
# `expect CODE PATTERN command...` checks a run's exit code and that a line
# of its stdout+stderr (kept in out.txt) matches PATTERN.
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

expect() {
  local code="$1" pattern="$2"
  shift 2
  "$@" >out.txt 2>&1
  local got=$?
  [ "${got}" -eq "${code}" ] || { fail "exit ${got}, not ${code}: $*"; cat out.txt; }
  grep -Eq -- "${pattern}" out.txt || { fail "no '${pattern}' from: $*"; cat out.txt; }
}
