#!/usr/bin/env bash
# Times the worst-case workloads of both programs on a Release build.
#
#   bench/run.sh [runs] [folder]
#
# runs defaults to 7; folder holds the orvane and kestrin to time (default:
# a Release build of this tree), e.g. an older build to compare with.
# For each workload: the median wall time of the whole process, outcomes per
# second, peak memory, and the median time of copying the result file it
# produced with cp, the floor for writing those bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j >/dev/null
timer="$PWD/$build/bench/timed_run"
bin=$(realpath "${2:-$build}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# name, program, outcomes, stdin (\n-separated), result file
workloads=(
  "k10-no-rows|orvane|497420|10\n1\n1\n1\n1\n1\n2\n2\n2\n1\n1\n\n\n|log.csv"
  "k10-rows|orvane|497420|10\n1\n1\n1\n1\n1\n2\n2\n2\n1\n1\nw2\n\n|w2.csv"
  "k3-rows|orvane|499500|3\n300\n300\n398\nw3\n\n|w3.csv"
  "fourfold-1754|kestrin|855|400 477 500 377\nw4\n\n|w4.csv"
)

echo "nproc $(nproc); $runs runs per workload; medians"
printf '%-14s %10s %14s %10s %12s %10s %8s\n' workload wall_ms outcomes/s peak_MB file_MB cp_ms ratio
for workload in "${workloads[@]}"; do
  IFS='|' read -r name program outcomes input file <<<"$workload"
  printf "$input" >"$work/stdin"
  walls=() peak=0
  for ((i = 0; i < runs; i++)); do
    rm -f "$work/$file"
    read -r wall rss < <("$timer" "$work" "$work/stdin" "$bin/$program")
    walls+=("$wall")
    peak=$rss
  done
  wall_us=$(printf '%s\n' "${walls[@]}" | median)
  copies=()
  for ((i = 0; i < runs; i++)); do
    rm -f "$work/copy"
    read -r wall rss < <("$timer" "$work" /dev/null "$(command -v cp)" "$file" copy)
    copies+=("$wall")
  done
  cp_us=$(printf '%s\n' "${copies[@]}" | median)
  size=$(stat -c %s "$work/$file")
  awk -v n="$name" -v w="$wall_us" -v o="$outcomes" -v p="$peak" -v s="$size" -v c="$cp_us" 'BEGIN {
    printf "%-14s %10.1f %14.0f %10.1f %12.1f %10.1f %8.1f\n", n, w / 1000, o / (w / 1e6), p / 1024, s / 1e6, c / 1000, w / c }'
done
