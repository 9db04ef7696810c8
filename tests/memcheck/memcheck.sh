#!/usr/bin/env bash
# One whole run of a program under valgrind's memcheck: it must report no
# error and no leak (memory still reachable when a failure ends the run
# from inside is not one), and the run must end with the given status.
#
#   memcheck.sh PROGRAM STATUS INPUT
#
# INPUT is standard input as a printf format ('2\r\n3\r\n1\r\nr\r\n\r\n').
# valgrind computes x87 extended reals with 64-bit doubles and raises no x87
# exception: some last digits differ from a native run, and a run that ends
# on an arithmetic failure natively goes on under valgrind. So only the
# status and memcheck's verdict are checked, on runs without arithmetic
# failures; the outputs are not compared. Keep totals below 170: beyond the
# range of a double (170!) valgrind's values turn infinite and then NaN, and
# the scaling of the text forms never ends on them.
set -uo pipefail
program=$1
expected_status=$2
input=$3

# shellcheck source=../skip.sh
source "$(dirname "$0")/../skip.sh"
need valgrind valgrind
scratch=$(mktemp -d /tmp/exact-memcheck-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
printf "$input" >"$scratch/in"
(cd "$scratch" && LC_ALL=C.UTF-8 valgrind --quiet --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite,indirect,possible --log-file=memcheck.log "$program" <in >out 2>err)
status=$?
if [ -s "$scratch/memcheck.log" ] || [ "$status" = 99 ]; then
  echo "FAIL: memcheck reports:"
  cat "$scratch/memcheck.log"
  exit 1
fi
if [ "$status" != "$expected_status" ]; then
  echo "FAIL: status $status, expected $expected_status"
  cat "$scratch/err"
  exit 1
fi
echo "ok: memcheck clean, status $status"
