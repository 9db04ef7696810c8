#!/usr/bin/env bash
# Times kestrin's exact test of r x c tables on a Release build: the whole
# process, all three orderings (--method=exact), with its peak resident
# memory.
#
#   bench/tables.sh [runs] [seconds] [folder]
#
# runs defaults to 3 (the fastest is shown, with the median); seconds (60)
# is how long a run may take before it is stopped and shown as "> seconds";
# folder holds the kestrin to time (default: a Release build of this tree).
# The cases: the job-satisfaction 4 x 4 table and the 2 x 15 table of the
# issue that asked for the test, 5 x 5 tables with totals in the low
# hundreds, and series that grow one thing at a time (rows, columns, the
# total) to show how the time grows. The load average before and after says
# how busy the machine was.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
limit=${2:-60}
build=build-bench
if [ $# -ge 3 ]; then
  folder=$(realpath "$3")
else
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$build" -j2 --target kestrin timed_run >/dev/null
  folder="$PWD/$build"
fi
timer="$PWD/$build/bench/timed_run"
[ -x "$timer" ] || { cmake --build "$build" -j2 --target timed_run >/dev/null; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: >"$work/stdin"

# name|rows (space-separated operands)
cases=(
  "job-satisfaction 4x4 N=96|1,3,10,6 2,3,10,7 1,6,14,12 0,1,9,11"
  "issue 2x15 N=4749|1088,126,342,516,594,578,528,378,272,160,68,40,22,4,2 12,1,5,4,5,1,2,1,0,0,0,0,0,0,0"
  "5x5 N=100 sparse|8,2,0,1,0 3,9,1,0,2 0,2,11,3,1 1,0,2,10,4 0,1,3,2,34"
  "5x5 N=125 diagonal|10,2,1,0,2 3,12,2,1,0 1,2,15,3,2 0,1,2,18,4 2,0,1,3,38"
  "5x5 N=150 strong|20,3,1,0,1 2,22,3,1,0 0,2,25,2,1 1,0,3,27,3 0,1,1,2,29"
  "5x5 N=200 strong|30,3,1,0,1 2,32,3,1,0 0,2,35,2,1 1,0,3,37,3 0,1,1,2,39"
  "3x3 N=60|10,5,5 5,10,5 5,5,10"
  "3x3 N=120|20,10,10 10,20,10 10,10,20"
  "3x3 N=240|40,20,20 20,40,20 20,20,40"
  "3x4 N=120|10,5,5,10 5,10,5,10 5,5,10,10"
  "3x5 N=150|10,5,5,10,10 5,10,5,10,10 5,5,10,10,10"
  "4x4 N=80|10,5,2,3 4,8,5,3 3,4,9,4 3,3,4,10"
  "4x4 N=160|20,10,4,6 8,16,10,6 6,8,18,8 6,6,8,20"
  "2x10 N=200|20,15,10,5,10,12,8,9,6,5 5,10,15,20,10,8,12,11,4,5"
  "2x20 N=400|10,9,8,7,6,5,4,3,2,1,10,9,8,7,6,5,4,3,2,1 1,2,3,4,5,6,7,8,9,10,1,2,3,4,5,6,7,8,9,10"
)

echo "nproc $(nproc); $runs runs per case, stopped after ${limit} s; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-28s %10s %10s %8s\n' case fastest_ms median_ms peak_MB
for entry in "${cases[@]}"; do
  IFS='|' read -r name rows <<<"$entry"
  read -r -a operands <<<"$rows"
  walls=()
  peak=0
  stopped=0
  for ((i = 0; i < runs; i++)); do
    if ! line=$(timeout "$limit" "$timer" "$work" "$work/stdin" "$folder/kestrin" --method=exact -f json "${operands[@]}"); then
      stopped=1
      break
    fi
    read -r wall rss <<<"$line"
    walls+=("$wall")
    ((rss > peak)) && peak=$rss
  done
  if ((stopped)); then
    printf '%-28s %10s %10s %8s\n' "$name" "> ${limit}000" "-" "-"
    continue
  fi
  read -r fastest median < <(printf '%s\n' "${walls[@]}" | sort -n |
    awk '{a[NR] = $1} END {printf "%.1f %.1f\n", a[1] / 1000, a[int((NR + 1) / 2)] / 1000}')
  printf '%-28s %10s %10s %8.1f\n' "$name" "$fastest" "$median" "$(echo "$peak" | awk '{print $1 / 1024}')"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
