#!/usr/bin/env bash
# Runs every test of one or more built trees again and again, to show that
# no test depends on luck: timing, scheduling, a pipeline's exit order.
#
#   tests/soak.sh [-n RUNS] [-b BUSY] BUILD...
#
# RUNS rounds (30 unless given); in each round every BUILD's whole suite
# runs once, as ctest runs it in CI. With -b, BUSY processes spin beside the
# suites for the whole soak, so that the tests also meet a loaded machine.
# Each round prints one line per build; the first failing round stops the
# soak, keeps ctest's output in a file it names, and sets status 1.
set -euo pipefail

runs=30
busy=0
while getopts n:b: option; do
  case $option in
    n) runs=$OPTARG ;;
    b) busy=$OPTARG ;;
    *) echo "usage: $0 [-n RUNS] [-b BUSY] BUILD..." >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
if [ $# -eq 0 ]; then
  echo "usage: $0 [-n RUNS] [-b BUSY] BUILD..." >&2
  exit 2
fi
for build in "$@"; do
  [ -f "$build/CTestTestfile.cmake" ] || { echo "$build: not a built tree" >&2; exit 2; }
done

spinners=()
stop_spinners() {
  [ ${#spinners[@]} -eq 0 ] || kill "${spinners[@]}" 2>/dev/null || true
}
trap stop_spinners EXIT
for ((i = 0; i < busy; i++)); do
  (while :; do :; done) &
  spinners+=($!)
done

log=$(mktemp "${TMPDIR:-/tmp}/soak.XXXXXX")
jobs=$(nproc)
echo "$runs rounds of $*, $busy busy processes beside them"
for ((round = 1; round <= runs; round++)); do
  for build in "$@"; do
    start=$SECONDS
    if ctest --test-dir "$build" --output-on-failure -j"$jobs" >"$log" 2>&1; then
      summary=$(grep -E '^[0-9]+% tests passed' "$log" || true)
      printf 'round %2d  %-24s %s, %d s\n' "$round" "$build" "$summary" $((SECONDS - start))
    else
      printf 'round %2d  %-24s FAILED, output in %s\n' "$round" "$build" "$log"
      grep -E '\*\*\*|Failed|Timeout' "$log" | head -20 || true
      exit 1
    fi
  done
done
rm -f "$log"
echo "all $runs rounds passed"
