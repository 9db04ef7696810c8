#!/usr/bin/env bash
# Times orvane's exact methods as whole processes, on the workloads the
# project promises times for, and on two plain enumerations with a
# listing (written to a scratch folder).
#
#   bench/orvane_exact.sh [runs] NEW_ORVANE [OLD_ORVANE]
#
# runs defaults to 7. With OLD_ORVANE (an older build, say), both are run
# in the same sitting, run for run alternately, and their reports compared.
# For each workload and program: the median user CPU time and wall time in
# seconds, the fastest and slowest user time, the peak resident memory, and
# the load average beside them (a loaded machine stretches the wall time
# far more than the user time).
set -euo pipefail
runs=${1:-7}
programs=("$(realpath "$2")")
[ $# -ge 3 ] && programs+=("$(realpath "$3")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

workloads=(
  "dihybrid|-p 9,3,3,1 315 108 101 32"
  "ten-equal|14 8 12 9 10 7 11 6 13 10"
  "six-unequal-fit|-p 5,4,3.5,3,2.5,2 58 33 41 24 29 15"
  "six-unequal-poor|-p 5,4,3.5,3,2.5,2 70 30 41 24 20 15"
  "listing-k4|-f csv -o WORK/listing.csv 75 75 75 75"
  "listing-k3|-f csv -o WORK/listing.csv 300 300 398"
)

# stats: median, fastest and slowest of a column of numbers.
stats() {
  sort -g | awk '{a[NR] = $1} END {printf "%.3f %.3f %.3f\n", a[int((NR + 1) / 2)], a[1], a[NR]}'
}

echo "nproc $(nproc); $runs runs per workload; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((p = 0; p < ${#programs[@]}; p++)); do echo "program $((p + 1)): ${programs[p]}"; done
printf '%-18s %-4s %8s %8s %15s %8s  %s\n' workload prog user_s wall_s user_spread peak_MB load
for workload in "${workloads[@]}"; do
  IFS='|' read -r name arguments <<<"$workload"
  arguments=${arguments//WORK/$work}
  declare -A users=() walls=() peaks=()
  for ((i = 0; i < runs; i++)); do
    for ((p = 0; p < ${#programs[@]}; p++)); do
      # shellcheck disable=SC2086
      /usr/bin/time -f '%U %e %M' -o "$work/time" "${programs[p]}" $arguments >"$work/out.$p"
      read -r user wall rss <"$work/time"
      users[$p]+="$user "
      walls[$p]+="$wall "
      [ "${peaks[$p]:-0}" -ge "$rss" ] || peaks[$p]=$rss
    done
  done
  load=$(cut -d' ' -f1 /proc/loadavg)
  for ((p = 0; p < ${#programs[@]}; p++)); do
    read -r user fastest slowest < <(printf '%s\n' ${users[$p]} | stats)
    read -r wall _ _ < <(printf '%s\n' ${walls[$p]} | stats)
    printf '%-18s %-4s %8s %8s %7s-%-7s %8.1f  %s\n' "$name" "$((p + 1))" "$user" "$wall" "$fastest" \
      "$slowest" "$(echo "${peaks[$p]} / 1024" | bc -l)" "$load"
  done
  if [ ${#programs[@]} -ge 2 ] && ! cmp -s "$work/out.0" "$work/out.1"; then
    echo "  the reports differ:"
    diff "$work/out.1" "$work/out.0" | sed 's/^/  /' || true
  fi
  unset users walls peaks
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
