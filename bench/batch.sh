#!/usr/bin/env bash
# Tables per second of the batch mode, and its peak memory, on a Release
# build.
#
#   bench/batch.sh [runs] [tables]
#
# Generates two seeded workloads of `tables` lines each (default 10^6,
# bench/batch_tables.cc): enrichment-like tables (a population of 20,000;
# 5 to 500 annotated; 20 to 2,000 drawn) and allelic-like ones (5,000 case
# and 5,000 control alleles, minor counts up to about 2,000). Each is run
# `runs` times (default 5) through `kestrin --batch`, all three orderings,
# with one job and with two, alternately; for each the median wall time
# of the whole process gives tables per second, beside the median CPU time
# (user and system) and its tables per second, which a busy machine
# disturbs less. Then the peak resident memory of runs of 10^4 and 10^7
# enrichment lines (piped from the generator, so nothing of that size is
# written), which should be the same. When Python's SciPy is installed,
# its fisher_exact's time per table on the first 20,000 tables of each
# workload is printed beside. The load average before and after says how
# busy the machine was.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
tables=${2:-1000000}
build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target kestrin batch_tables >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }
kestrin="$PWD/$build/kestrin"
generate="$PWD/$build/bench/batch_tables"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$generate" enrichment "$tables" 20261210 >"$work/enrichment.txt"
"$generate" allelic "$tables" 20261211 >"$work/allelic.txt"

# median of numbers, one a line
median() { sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

echo "nproc $(nproc); $runs runs of $tables tables per workload and jobs; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-11s %4s %12s %14s %12s %14s\n' workload jobs wall_s tables/s cpu_s tables/cpu_s
for workload in enrichment allelic; do
  declare -A walls=() cpus=()
  for ((i = 0; i < runs; i++)); do
    for jobs in 1 2; do
      # GNU time's format: elapsed, user and system seconds.
      read -r wall user system < <(/usr/bin/time -f '%e %U %S' "$kestrin" --batch="$work/$workload.txt" --jobs=$jobs \
        2>&1 >/dev/null | tail -1)
      walls[$jobs]+="$wall "
      cpus[$jobs]+="$(awk -v u="$user" -v s="$system" 'BEGIN {print u + s}') "
    done
  done
  for jobs in 1 2; do
    wall=$(printf '%s\n' ${walls[$jobs]} | median)
    cpu=$(printf '%s\n' ${cpus[$jobs]} | median)
    awk -v w="$workload" -v j="$jobs" -v wall="$wall" -v cpu="$cpu" -v n="$tables" 'BEGIN {
      printf "%-11s %4d %12.2f %14.0f %12.2f %14.0f\n", w, j, wall, n / wall, cpu, n / cpu }'
  done
  unset walls cpus
done

echo "peak resident memory (enrichment lines piped in):"
for lines in 10000 10000000; do
  for jobs in 1 2; do
    peak=$("$generate" enrichment "$lines" 7 | /usr/bin/time -f '%M' "$kestrin" --batch=- --jobs=$jobs 2>&1 >/dev/null | tail -1)
    printf '  %9d lines, %d job(s): %6.1f MB\n' "$lines" "$jobs" "$(awk -v k="$peak" 'BEGIN {print k / 1024}')"
  done
done

# The first Python that has SciPy: the one on the PATH, or Debian's own
# (python3-scipy) where the PATH leads to another.
python=
for candidate in python3 /usr/bin/python3; do
  if "$candidate" -c 'import scipy.stats' 2>/dev/null; then
    python=$candidate
    break
  fi
done
if [ -n "$python" ]; then
  for workload in enrichment allelic; do
    head -20000 "$work/$workload.txt" >"$work/$workload.head"
    "$python" - "$work/$workload.head" "$workload" <<'PYTHON'
import sys, time
from scipy.stats import fisher_exact
tables = [list(map(int, line.split())) for line in open(sys.argv[1])]
start = time.perf_counter()
for a, b, c, d in tables:
    fisher_exact([[a, b], [c, d]])
elapsed = time.perf_counter() - start
print(f"scipy fisher_exact, {sys.argv[2]}: {1e6 * elapsed / len(tables):.1f} us per table "
      f"({len(tables) / elapsed:.0f} tables/s, Fisher's ordering alone)")
PYTHON
  done
else
  echo "scipy: not installed here (python3-scipy), so no comparison"
fi
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
