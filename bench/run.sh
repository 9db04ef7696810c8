#!/usr/bin/env bash
# Times the worst-case workloads of both programs on a Release build.
#
#   bench/run.sh [runs] [folder] [other_folder]
#
# runs defaults to 7; folder holds the orvane and kestrin to time (default:
# a Release build of this tree); other_folder, when given, holds a second
# pair (an older build, say) timed in the same sitting, run for run
# alternately with the first.
#
# Each workload is timed twice: back to back, and with an idle pause of 3 s
# before every timed command (a machine that has been idle a moment hands
# fresh memory over more slowly, and most runs follow a pause). For each
# program: the median wall time of the whole process, its spread (fastest
# and slowest run), the peak resident memory; and the same median for the
# floor it is held against (cp of the result file it wrote, or /bin/true
# where the file is small), with the ratio of the medians. The load average
# before and after says how busy the machine was.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
timer="$PWD/$build/bench/timed_run"
folders=("$(realpath "${2:-$build}")")
[ $# -ge 3 ] && folders+=("$(realpath "$3")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pause=3

# name, program, stdin (\n-separated), result file, floor (cp or true)
workloads=(
  "W1 k10-no-rows|orvane|10\n1\n1\n1\n1\n1\n2\n2\n2\n1\n1\n\n\n|log.csv|true"
  "W2 k10-rows|orvane|10\n1\n1\n1\n1\n1\n2\n2\n2\n1\n1\nw2\n\n|w2.csv|cp"
  "W3 k3-rows|orvane|3\n300\n300\n398\nw3\n\n|w3.csv|cp"
  "W4 fourfold-1754|kestrin|400 477 500 377\nw4\n\n|w4.csv|true"
)

# stats: the median, fastest and slowest of microsecond figures, in ms.
stats() {
  sort -n | awk '{a[NR] = $1} END {printf "%.1f %.1f %.1f\n", a[int((NR + 1) / 2)] / 1000, a[1] / 1000, a[NR] / 1000}'
}

# timed DIR STDIN COMMAND...: "WALL_US MAXRSS_KB", after the pause in the
# pausing mode.
timed() {
  [ "$mode" = pause ] && sleep "$pause"
  "$timer" "$@"
}

echo "nproc $(nproc); $runs runs per workload and mode; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((f = 0; f < ${#folders[@]}; f++)); do echo "program $((f + 1)): ${folders[f]}"; done
printf '%-18s %-12s %-4s %9s %17s %8s %9s %8s\n' workload mode prog median_ms spread_ms peak_MB floor_ms ratio
for workload in "${workloads[@]}"; do
  IFS='|' read -r name program input file floor <<<"$workload"
  printf "$input" >"$work/stdin"
  for mode in back-to-back pause; do
    declare -A walls=() peaks=()
    floors=()
    for ((i = 0; i < runs; i++)); do
      for ((f = 0; f < ${#folders[@]}; f++)); do
        rm -f "$work/$file"
        read -r wall rss < <(timed "$work" "$work/stdin" "${folders[f]}/$program")
        walls[$f]+="$wall "
        [ "${peaks[$f]:-0}" -ge "$rss" ] || peaks[$f]=$rss
      done
      if [ "$floor" = cp ]; then
        rm -f "$work/copy"
        read -r wall rss < <(timed "$work" /dev/null "$(type -P cp)" "$file" copy)
      else
        read -r wall rss < <(timed "$work" /dev/null "$(type -P true)")
      fi
      floors+=("$wall")
    done
    read -r floor_ms _ _ < <(printf '%s\n' "${floors[@]}" | stats)
    for ((f = 0; f < ${#folders[@]}; f++)); do
      read -r median fastest slowest < <(printf '%s\n' ${walls[$f]} | stats)
      awk -v n="$name" -v m="$mode" -v p="$((f + 1))" -v med="$median" -v lo="$fastest" -v hi="$slowest" \
          -v peak="${peaks[$f]}" -v fl="$floor_ms" -v kind="$floor" 'BEGIN {
        printf "%-18s %-12s %-4s %9.1f %8.1f-%-8.1f %8.1f %6.1f %s %.1fx\n", n, m, p, med, lo, hi, peak / 1024, fl, kind, med / fl }'
    done
    unset walls peaks
  done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
