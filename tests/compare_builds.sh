#!/usr/bin/env bash
# Runs two builds of the programs on the same inputs, under the same faults,
# and compares everything they leave: standard output, standard error (the
# location in a failure report masked), the exit status and every file.
#
#   tests/compare_builds.sh OLD_FOLDER NEW_FOLDER [quick]
#
# Each folder holds an orvane and a kestrin. The cases: normal runs of both
# programs (small, worst-case, default file, outcome limit, failures of the
# arithmetic), and the largest listings under a file-size limit, on a full
# file system, and with the console on a file system that fills up while
# the outcomes are enumerated, at sizes that put each failure before,
# inside and after the listing, and with both on one file system that
# fills up. The fault cases mount tmpfs file systems in
# a private mount namespace and need root; without it they are skipped.
set -uo pipefail
old=$(realpath "$1")
new=$(realpath "$2")
quick=${3:-}
scratch=$(mktemp -d /tmp/exact-compare-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
export LC_ALL=C.UTF-8

cases=0
failures=0
can_mount=0
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then can_mount=1; fi

# run BUILD DIR PROGRAM INPUT FAULT: one run, its results in DIR/result.
run() {
  local build=$1 dir=$2 program=$3 input=$4 fault=$5
  rm -rf "$dir"
  mkdir -p "$dir/work" "$dir/result"
  printf "$input" >"$dir/in"
  local exe=$build/$program
  case $fault in
    none)
      (cd "$dir/work" && "$exe" <"$dir/in" >"$dir/result/stdout" 2>"$dir/result/stderr"); echo $? >"$dir/result/status" ;;
    fsize:*)
      (cd "$dir/work" && ulimit -f "${fault#fsize:}" && "$exe" <"$dir/in" >"$dir/result/stdout" 2>"$dir/result/stderr"); echo $? >"$dir/result/status" ;;
    fsize_all:*)
      # The limit holds for the console's file too.
      (cd "$dir/work" && ulimit -f "${fault#fsize_all:}" && "$exe" <"$dir/in" >"$dir/work/console" 2>"$dir/result/stderr"); echo $? >"$dir/result/status"
      mv "$dir/work/console" "$dir/result/stdout" ;;
    tmpfs:* | console_tmpfs:* | shared_tmpfs:*)
      local size=${fault#*:}
      local where=${fault%%:*}
      mkdir -p "$dir/mnt"
      unshare -m bash -c '
        mount -t tmpfs -o size='"$size"' none "'"$dir"'/mnt" || exit 77
        case '"$where"' in
          tmpfs) (cd "'"$dir"'/mnt" && "'"$exe"'" <"'"$dir"'/in" >"'"$dir"'/result/stdout" 2>"'"$dir"'/result/stderr") ;;
          console_tmpfs) (cd "'"$dir"'/work" && "'"$exe"'" <"'"$dir"'/in" >"'"$dir"'/mnt/console" 2>"'"$dir"'/result/stderr") ;;
          shared_tmpfs) (cd "'"$dir"'/mnt" && "'"$exe"'" <"'"$dir"'/in" >"'"$dir"'/mnt/console" 2>"'"$dir"'/result/stderr") ;;
        esac
        echo $? >"'"$dir"'/result/status"
        cp "'"$dir"'/mnt/console" "'"$dir"'/result/stdout" 2>/dev/null
        cp -a "'"$dir"'/mnt/." "'"$dir"'/work/" 2>/dev/null
        rm -f "'"$dir"'/work/console"'
      ;;
  esac
  sed -i -E 's/ の [0-9A-F]{8} で/ の XXXXXXXX で/' "$dir/result/stderr"
  cp -a "$dir/work/." "$dir/result/"
}

compare() {
  local name=$1 program=$2 input=$3 fault=${4:-none}
  case $fault in
    *tmpfs:*) [ $can_mount = 1 ] || return 0 ;;
  esac
  cases=$((cases + 1))
  run "$old" "$scratch/old" "$program" "$input" "$fault"
  run "$new" "$scratch/new" "$program" "$input" "$fault"
  if ! diff -r "$scratch/old/result" "$scratch/new/result" >/dev/null; then
    failures=$((failures + 1))
    echo "DIFFERS: $name ($program, $fault)"
    diff -r -q "$scratch/old/result" "$scratch/new/result" | head -5
  fi
}

# orvane: k, the frequencies, the file name.
orvane_input() {
  local name=$1
  shift
  local text="$#\n"
  for v in "$@"; do text+="$v\n"; done
  printf '%s' "$text$name\n\n"
}

w1=$(orvane_input "" 1 1 1 1 1 2 2 2 1 1)
w2=$(orvane_input w2 1 1 1 1 1 2 2 2 1 1)
w3=$(orvane_input w3 300 300 398)

compare w1 orvane "$w1"
compare w2 orvane "$w2"
compare w3 orvane "$w3"
compare w3_default orvane "$(orvane_input "" 300 300 398)"
compare limit_k10 orvane "$(orvane_input r 14 0 0 0 0 0 0 0 0 0)"
compare limit_k3 orvane "$(orvane_input r 999 0 0)"
compare limit_k3_default orvane "$(orvane_input "" 999 0 0)"
compare factorial_range orvane "$(orvane_input r 1755 0)"
compare one_1754 orvane "$(orvane_input r 1754)"
compare two_1754 orvane "$(orvane_input r 1000 754)"
compare equal orvane "$(orvane_input r 5 5 5 5)"
compare zero_total orvane "$(orvane_input r 0 0 0)"
compare negative_total orvane "$(orvane_input r 2 -5)"
compare negative_lr orvane "$(orvane_input r 1 -3)"
compare k10_sparse orvane "$(orvane_input r 0 0 0 13 0 0 0 0 0 0)"
compare k4_120 orvane "$(orvane_input r 30 30 30 30)"
compare k5_ties orvane "$(orvane_input r 5 1 3 0 2)"
RANDOM=7
for i in $(seq 1 "$([ -n "$quick" ] && echo 5 || echo 40)"); do
  n=$((RANDOM % 6 + 1))
  values=()
  for ((j = 0; j < n; j++)); do values+=($((RANDOM % (n <= 3 ? 200 : 12)))); done
  compare "random_$i" orvane "$(orvane_input r "${values[@]}")"
  compare "random_default_$i" orvane "$(orvane_input "" "${values[@]}")"
done

kestrin_input() { printf '%s' "$1 $2 $3 $4\n$5\n\n"; }
w4=$(kestrin_input 400 477 500 377 w4)
compare w4 kestrin "$w4"
compare w4_default kestrin "$(kestrin_input 400 477 500 377 "")"
compare k_road kestrin "$(kestrin_input 3 5 2 7 r)"
compare k_1755 kestrin "$(kestrin_input 500 500 500 255 r)"
compare k_zero_row kestrin "$(kestrin_input 0 0 3 4 r)"
compare k_negative kestrin "$(kestrin_input 5 -2 3 4 r)"
compare k_ties kestrin "$(kestrin_input 2 8 8 2 r)"
for i in $(seq 1 "$([ -n "$quick" ] && echo 5 || echo 30)"); do
  compare "k_random_$i" kestrin "$(kestrin_input $((RANDOM % 300)) $((RANDOM % 300)) $((RANDOM % 300)) $((RANDOM % 300)) r)"
done

# Faults. The listing of w3 is 44 MB, of w2 75 MB, of w4 100 KB; the
# console's progress lines of w3 about 16 KB.
sizes_kb=(1 4 63 64 65 100 1000 30000)
[ -n "$quick" ] && sizes_kb=(1 64 1000)
for kb in "${sizes_kb[@]}"; do
  compare "w3_fsize_$kb" orvane "$w3" "fsize:$kb"
  compare "w4_fsize_$kb" kestrin "$w4" "fsize:$kb"
  compare "w3_tmpfs_$kb" orvane "$w3" "tmpfs:${kb}k"
  compare "w4_tmpfs_$kb" kestrin "$w4" "tmpfs:${kb}k"
done
compare w2_tmpfs orvane "$w2" "tmpfs:40m"
compare w3_default_tmpfs orvane "$(orvane_input "" 300 300 398)" "tmpfs:4k"
for kb in 1 4 8 12 16; do
  # The console fills up during the enumeration; with fsize_all the result
  # file has failed before it.
  compare "w3_console_tmpfs_$kb" orvane "$w3" "console_tmpfs:${kb}k"
  compare "w3_fsize_all_$kb" orvane "$w3" "fsize_all:$kb"
  compare "w1_console_tmpfs_$kb" orvane "$w1" "console_tmpfs:${kb}k"
done
compare w4_console_tmpfs kestrin "$w4" "console_tmpfs:1k"
# The console and the result file on one file system that fills up.
many_levels=$(orvane_input r 1000 754)
for kb in 4 16 32 64 100 1000; do
  compare "w3_shared_tmpfs_$kb" orvane "$w3" "shared_tmpfs:${kb}k"
  compare "many_levels_shared_tmpfs_$kb" orvane "$many_levels" "shared_tmpfs:${kb}k"
  compare "w4_shared_tmpfs_$kb" kestrin "$w4" "shared_tmpfs:${kb}k"
done

echo "$cases cases, $failures differ"
[ $failures = 0 ]
