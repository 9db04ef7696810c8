#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#
#   fuzz/run.sh [SECONDS] [TARGET...]
#
# SECONDS per target (default 10); TARGETs among textstream, realtext,
# batchlines, orvane, kestrin (default all, one after the other). Every
# input kept in fuzz/regressions/TARGET/ is replayed first. The corpora grow in
# build-fuzz/corpus/ (seeded from fuzz/seeds/ and every golden case's stdin)
# and last from run to run; what a target finds goes to
# build-fuzz/artifacts/TARGET/, and the script fails.
#
# Without clang or libFuzzer (Debian: clang-14, libclang-rt-14-dev) the
# script says so and exits 0; in CI (CI set and not false) it fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# without REASON: no fuzzing here.
without() {
  case ${CI:-} in
    '' | 0 | false | False | FALSE | no)
      echo "fuzz: $*; fuzzing skipped (install clang-14 and libclang-rt-14-dev)"
      exit 0
      ;;
    *)
      echo "fuzz: $*; in CI the fuzz targets must run (install clang-14 and libclang-rt-14-dev)" >&2
      exit 1
      ;;
  esac
}

seconds=${1:-10}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(textstream realtext batchlines orvane kestrin)

cxx=${FUZZ_CXX:-clang++-14}
build=${FUZZ_BUILD:-$root/build-fuzz}

command -v "$cxx" >/dev/null || without "$cxx not found"
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' >"$probe/p.cc"
"$cxx" -fsanitize=fuzzer "$probe/p.cc" -o "$probe/p" 2>/dev/null || without "$cxx cannot link libFuzzer"

cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$build" -j2 >/dev/null

# The corpus of a target, seeded once. The readers' target takes two bytes
# (transport, order of reads) before the stream: each golden stdin goes in
# behind a few of them.
seed() {
  local target=$1 corpus=$build/corpus/$1
  [ -d "$corpus" ] && return
  mkdir -p "$corpus"
  cp fuzz/seeds/"$target"/* "$corpus"/
  local n=0 stdin
  case $target in
    orvane | kestrin)
      for stdin in "$target"/testdata/*/stdin; do
        [ -f "$stdin" ] && cp "$stdin" "$corpus/golden-$((n++))"
      done
      ;;
    textstream)
      for stdin in orvane/testdata/*/stdin kestrin/testdata/*/stdin; do
        [ -f "$stdin" ] || continue
        for header in '\x00\x00' '\x01\x07' '\x02\x2a'; do
          { printf "$header"; cat "$stdin"; } >"$corpus/golden-$((n++))"
        done
      done
      ;;
  esac
}

status=0
for target in "${targets[@]}"; do
  binary=$build/${target}_fuzz
  [ -x "$binary" ] || { echo "fuzz: no target $target"; exit 2; }
  # The whole-program targets tell a hung run by its processor time; the
  # wall-clock timeout is only a backstop, long enough for a busy machine.
  options=(-rss_limit_mb=0 -timeout=1200 -print_final_stats=1)
  case $target in
    realtext) ;;
    *) options+=(-dict=fuzz/tokens.dict) ;;
  esac
  # Sanitizer reports name their source; SIGFPE belongs to the programs.
  export ASAN_OPTIONS=handle_sigfpe=0:detect_leaks=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

  regressions=(fuzz/regressions/"$target"/*)
  if [ -f "${regressions[0]}" ]; then
    "$binary" "${options[@]}" "${regressions[@]}" >"$build/$target.replay.log" 2>&1 || {
      echo "fuzz: $target fails on a kept regression input:"
      tail -30 "$build/$target.replay.log"
      status=1
      continue
    }
  fi

  seed "$target"
  artifacts=$build/artifacts/$target
  mkdir -p "$artifacts"
  log=$build/$target.log
  if "$binary" "${options[@]}" -max_total_time="$seconds" -artifact_prefix="$artifacts/" \
      "$build/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target: ${runs:-?} runs in ${seconds}s, no failure"
  else
    echo "fuzz: $target FAILED; input kept in $artifacts:"
    grep -v -E '^#[0-9]+|^INFO|NEW_FUNC' "$log" | tail -40 || true
    status=1
  fi
done
exit $status
