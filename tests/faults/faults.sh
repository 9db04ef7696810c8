#!/usr/bin/env bash
# What the programs do when the file system or the standard streams fail.
#
#   faults.sh CASE ORVANE KESTRIN
#
# Each case runs a program in a scratch folder under a fault (a full or
# read-only file system, a missing folder, a file-size or open-file limit, a
# closed or broken standard stream) and checks that the run ends with the
# failure report and status 1, or normally, as the case says; that the
# result file holds only a beginning of what a run without the fault writes;
# and that standard output keeps what was written before the failure.
# Cases that need to mount a file system run in a private mount namespace
# and are skipped (status 77) where that is not allowed.
set -uo pipefail

case_name=$1
orvane=$2
kestrin=$3
scratch=$(mktemp -d /tmp/exact-faults-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
export LC_ALL=C.UTF-8

fail() {
  echo "FAIL ($case_name): $*" >&2
  exit 1
}

skip() {
  echo "SKIP ($case_name): $*"
  exit 77
}

# The dialogues: a listing of 4186 rows (about 370 KB), a short one, and
# kestrin's largest within its announced limit (801 rows, about 88 KB).
long_orvane=$'3\r\n30\r\n30\r\n30\r\nr\r\n\r\n'
short_orvane=$'2\r\n3\r\n1\r\nr\r\n\r\n'
long_kestrin=$'400 400 400 400\r\nr\r\n\r\n'
# 1755 progress lines (about 28 KB) and 1755 rows (about 140 KB).
many_levels=$'2\r\n1000\r\n754\r\nr\r\n\r\n'

# run DIR PROGRAM INPUT [OUT]: runs PROGRAM in DIR with INPUT as standard
# input; leaves in, out, err and status in OUT (default DIR).
run() {
  local dir=$1 program=$2 input=$3 out=${4:-$1}
  printf '%s' "$input" >"$out/in"
  (cd "$dir" && "$program" <"$out/in" >"$out/out" 2>"$out/err")
  echo $? >"$out/status"
}

# reference PROGRAM INPUT: the same run without a fault, in $scratch/ref.
reference() {
  mkdir -p "$scratch/ref"
  run "$scratch/ref" "$@"
  [ "$(cat "$scratch/ref/status")" = 0 ] || fail "the run without a fault did not end normally"
}

# expect_report DIR MESSAGE: status 1 and one report with that message.
expect_report() {
  local dir=$1 message=$2
  [ "$(cat "$dir/status")" = 1 ] || fail "status $(cat "$dir/status"), expected 1; stderr: $(cat "$dir/err")"
  local module
  module=$(basename "$(readlink -f "$program")")
  local expected
  expected=$(printf 'EInOutError がモジュール %s の XXXXXXXX で発生しました。\r\n%s.\r\n\r\n' "$module" "$message" | od -c)
  local actual
  actual=$(sed -E 's/ の [0-9A-F]{8} で/ の XXXXXXXX で/' "$dir/err" | od -c)
  [ "$expected" = "$actual" ] || fail "stderr is not the report of \"$message\": $(cat "$dir/err")"
}

# is_prefix A B: file A is the first bytes of file B.
is_prefix() {
  local size
  size=$(stat -c %s "$1")
  cmp -s -n "$size" "$1" "$2" && [ "$size" -le "$(stat -c %s "$2")" ]
}

# stdout_ends_with DIR TEXT: stdout is a beginning of the reference's
# stdout and ends with TEXT: all that was written before the failure, and
# nothing after.
stdout_ends_with() {
  local dir=$1 text=$2
  is_prefix "$dir/out" "$scratch/ref/out" || fail "stdout is not a beginning of the run's output"
  printf '%s' "$text" >"$scratch/tail"
  tail -c "$(stat -c %s "$scratch/tail")" "$dir/out" | cmp -s - "$scratch/tail" ||
    fail "stdout does not end with \"$text\""
}

# in_tmpfs OPTIONS COMMAND...: runs COMMAND (a shell function of this
# script) with a tmpfs mounted on $scratch/mnt, in a mount namespace of its
# own; the files it leaves there are copied to $scratch/left, where the
# run's own in, out, err and status go.
in_tmpfs() {
  local options=$1
  shift
  [ "$(id -u)" = 0 ] || skip "mounting a file system needs root"
  mkdir -p "$scratch/mnt" "$scratch/left"
  unshare -m true 2>/dev/null || skip "no mount namespaces here"
  export -f "$@" run fail skip fill_up
  export scratch case_name orvane kestrin long_orvane short_orvane long_kestrin many_levels
  unshare -m bash -c "mount -t tmpfs -o $options none '$scratch/mnt' || exit 77
    $* ; status=\$?
    cp -a '$scratch/mnt/.' '$scratch/left/' 2>/dev/null
    exit \$status"
  local status=$?
  [ $status = 77 ] && skip "mounting a tmpfs is not allowed here"
  [ $status = 0 ] || fail "the run in the tmpfs could not be made"
}

fill_up() {
  # Everything the tmpfs has, taken by one file.
  dd if=/dev/zero of="$scratch/mnt/filler" bs=4096 2>/dev/null
  [ "$(df --output=avail "$scratch/mnt" | tail -1)" -eq 0 ]
}

program=$orvane
case $case_name in
  disk_full_during_listing)
    # The listing fills the file system: the write that finds no room is
    # the failure; the file keeps what reached it, the console what was
    # written before (the progress lines).
    reference "$orvane" "$long_orvane"
    run_full() { run "$scratch/mnt" "$orvane" "$long_orvane" "$scratch/left"; }
    in_tmpfs size=64k run_full
    expect_report "$scratch/left" "I/O エラー 112"
    is_prefix "$scratch/left/r.csv" "$scratch/ref/r.csv" || fail "r.csv is not a beginning of the full listing"
    [ "$(stat -c %s "$scratch/left/r.csv")" -gt 0 ] || fail "r.csv is empty"
    stdout_ends_with "$scratch/left" $'level 1:    90\r\n'
    ;;

  disk_full_kestrin)
    program=$kestrin
    reference "$kestrin" "$long_kestrin"
    run_full() { run "$scratch/mnt" "$kestrin" "$long_kestrin" "$scratch/left"; }
    # 32 KiB: the first block of the listing is written only in part.
    in_tmpfs size=32k run_full
    expect_report "$scratch/left" "I/O エラー 112"
    is_prefix "$scratch/left/r.csv" "$scratch/ref/r.csv" || fail "r.csv is not a beginning of the full listing"
    [ "$(stat -c %s "$scratch/left/r.csv")" = 32768 ] || fail "r.csv does not fill the file system"
    stdout_ends_with "$scratch/left" $' Now calulating ........ \r\n\r\n'
    ;;

  disk_full_at_close)
    # A short file is held back until it is closed: the close finds no
    # room, after the summary has reached the console.
    reference "$orvane" "$short_orvane"
    run_full() { fill_up && run "$scratch/mnt" "$orvane" "$short_orvane" "$scratch/left"; }
    in_tmpfs size=64k run_full
    expect_report "$scratch/left" "I/O エラー 112"
    is_prefix "$scratch/left/r.csv" "$scratch/ref/r.csv" || fail "r.csv is not a beginning of the full listing"
    cmp -s "$scratch/ref/out" "$scratch/left/out" || fail "stdout is not the whole run's output"
    ;;

  no_room_for_the_file)
    # No inode left: the file cannot be created.
    reference "$orvane" "$short_orvane"
    run_full() {
      local n=0
      while : >"$scratch/mnt/f$n" 2>/dev/null; do n=$((n + 1)); done
      run "$scratch/mnt" "$orvane" "$short_orvane" "$scratch/left"
    }
    in_tmpfs size=64k,nr_inodes=8 run_full
    expect_report "$scratch/left" "I/O エラー 112"
    [ ! -e "$scratch/left/r.csv" ] || fail "r.csv exists"
    stdout_ends_with "$scratch/left" "　　結果を出力するファイル名を入力して下さい:　"
    ;;

  read_only_file_system)
    reference "$orvane" "$short_orvane"
    run_ro() { run "$scratch/mnt" "$orvane" "$short_orvane" "$scratch/left"; }
    in_tmpfs ro run_ro
    expect_report "$scratch/left" "ファイルへのアクセスが拒否されました"
    ;;

  missing_folder)
    mkdir -p "$scratch/run"
    run "$scratch/run" "$orvane" $'2\r\n3\r\n1\r\nnowhere/r\r\n\r\n'
    expect_report "$scratch/run" "不正なファイル名 - nowhere/r.csv"
    [ -z "$(ls -A "$scratch/run" | grep -v -x -e in -e out -e err -e status)" ] || fail "a file was left"
    ;;

  name_too_long_for_the_file_system)
    # 100 characters of 3 bytes each: within 259 UTF-16 units, beyond the
    # 255 bytes a file name may have here.
    mkdir -p "$scratch/run"
    name=$(printf 'あ%.0s' {1..100})
    run "$scratch/run" "$orvane" $'2\r\n3\r\n1\r\n'"$name"$'\r\n\r\n'
    expect_report "$scratch/run" "不正なファイル名 - $name.csv"
    ;;

  no_permission)
    # A folder the user may not write in; root may write anywhere, so the
    # run is made as nobody.
    mkdir -p "$scratch/run"
    chmod 755 "$scratch"
    chmod 555 "$scratch/run"
    if [ "$(id -u)" = 0 ]; then
      command -v setpriv >/dev/null || skip "setpriv is missing"
      printf '%s' "$short_orvane" >"$scratch/in"
      (cd "$scratch/run" && setpriv --reuid=65534 --regid=65534 --clear-groups "$orvane" \
        <"$scratch/in" >"$scratch/out" 2>"$scratch/err")
      echo $? >"$scratch/status"
      expect_report "$scratch" "ファイルへのアクセスが拒否されました"
    else
      chmod 755 "$scratch/run"
      mkdir -p "$scratch/run/ro"
      chmod 555 "$scratch/run/ro"
      run "$scratch/run" "$orvane" $'2\r\n3\r\n1\r\nro/r\r\n\r\n'
      expect_report "$scratch/run" "ファイルへのアクセスが拒否されました"
    fi
    ;;

  result_name_is_a_folder)
    mkdir -p "$scratch/run/r.csv"
    run "$scratch/run" "$orvane" "$short_orvane"
    expect_report "$scratch/run" "ファイルへのアクセスが拒否されました"
    ;;

  too_many_open_files)
    # The limit is lowered once the program has started (the loader needs
    # descriptors of its own) and waits for its first answer: standard
    # input, output and error then take every descriptor allowed.
    mkdir -p "$scratch/run"
    mkfifo "$scratch/run/fifo"
    (cd "$scratch/run" && exec "$orvane" <fifo >out 2>err) &
    pid=$!
    exec {writer}>"$scratch/run/fifo"
    for _ in $(seq 400); do
      [ "$(cut -d' ' -f1,2 /proc/$pid/syscall 2>/dev/null)" = "0 0x0" ] && break
      sleep 0.05
    done
    prlimit --pid "$pid" --nofile=3:3 || fail "prlimit failed"
    printf '%s' "$short_orvane" >&$writer
    exec {writer}>&-
    wait $pid
    echo $? >"$scratch/run/status"
    expect_report "$scratch/run" "開かれたファイルが多すぎます。"
    [ ! -e "$scratch/run/r.csv" ] || fail "r.csv exists"
    ;;

  file_size_limit)
    # Past the limit a write fails (EFBIG) instead of ending the process.
    reference "$orvane" "$long_orvane"
    mkdir -p "$scratch/run"
    printf '%s' "$long_orvane" >"$scratch/run/in"
    (cd "$scratch/run" && ulimit -f 64 && "$orvane" <in >out 2>err)
    echo $? >"$scratch/run/status"
    expect_report "$scratch/run" "I/O エラー 1027"
    is_prefix "$scratch/run/r.csv" "$scratch/ref/r.csv" || fail "r.csv is not a beginning of the full listing"
    [ "$(stat -c %s "$scratch/run/r.csv")" = 65536 ] || fail "r.csv does not hold the 64 KiB allowed"
    stdout_ends_with "$scratch/run" $'level 1:    90\r\n'
    ;;

  console_full_during_listing)
    # The console's file system fills up while the outcomes are enumerated,
    # after rows have reached the result file: the file keeps the opening
    # blocks alone, as if the listing had waited for the enumeration.
    reference "$orvane" "$many_levels"
    run_full() {
      mkdir -p "$scratch/left/run" && printf '%s' "$many_levels" >"$scratch/left/in" &&
        (cd "$scratch/left/run" && "$orvane" <"$scratch/left/in" >"$scratch/mnt/out" 2>"$scratch/left/err")
      echo $? >"$scratch/left/status"
      cp "$scratch/mnt/out" "$scratch/left/out"
    }
    in_tmpfs size=16k run_full
    expect_report "$scratch/left" "I/O エラー 112"
    head -n 7 "$scratch/ref/r.csv" | cmp -s - "$scratch/left/run/r.csv" || fail "r.csv is not the opening blocks alone"
    is_prefix "$scratch/left/out" "$scratch/ref/out" || fail "stdout is not a beginning of the run's output"
    ;;

  disk_full_shared_with_console)
    # The console and the result file on one file system: the rows fill it
    # while the outcomes are enumerated, yet the console goes on through the
    # last progress line (the rows' space is freed when their write fails),
    # and the listing, written again after the enumeration, fails where it
    # would have: the file holds more than its opening blocks.
    reference "$orvane" "$many_levels"
    run_shared() {
      printf '%s' "$many_levels" >"$scratch/left/in" &&
        (cd "$scratch/mnt" && "$orvane" <"$scratch/left/in" >"$scratch/mnt/out" 2>"$scratch/left/err")
      echo $? >"$scratch/left/status"
    }
    in_tmpfs size=64k run_shared
    expect_report "$scratch/left" "I/O エラー 112"
    is_prefix "$scratch/left/out" "$scratch/ref/out" || fail "stdout is not a beginning of the run's output"
    grep -q "level 1:  1753" "$scratch/left/out" || fail "the progress lines stop before the end of the enumeration"
    is_prefix "$scratch/left/r.csv" "$scratch/ref/r.csv" || fail "r.csv is not a beginning of the full listing"
    [ "$(stat -c %s "$scratch/left/r.csv")" -gt "$(head -n 7 "$scratch/ref/r.csv" | wc -c)" ] ||
      fail "r.csv holds nothing of the listing"
    ;;

  file_size_limit_console_too)
    # The limit holds for the console's file as well: the result file fails
    # first, while the outcomes are enumerated, and is reported only if the
    # enumeration ends; the console fails before that, and is reported, with
    # the result file back at its opening blocks.
    reference "$orvane" "$many_levels"
    mkdir -p "$scratch/run"
    printf '%s' "$many_levels" >"$scratch/run/in"
    (cd "$scratch/run" && ulimit -f 16 && "$orvane" <in >out 2>err)
    echo $? >"$scratch/run/status"
    expect_report "$scratch/run" "I/O エラー 1027"
    head -n 7 "$scratch/ref/r.csv" | cmp -s - "$scratch/run/r.csv" || fail "r.csv is not the opening blocks alone"
    [ "$(stat -c %s "$scratch/run/out")" = 16384 ] || fail "stdout does not hold the 16 KiB allowed"
    ;;

  stdout_closed)
    mkdir -p "$scratch/run"
    printf '%s' "$short_orvane" >"$scratch/run/in"
    (cd "$scratch/run" && "$orvane" <in >&- 2>err)
    echo $? >"$scratch/run/status"
    : >"$scratch/run/out"
    expect_report "$scratch/run" "I/O エラー 105"
    [ ! -e "$scratch/run/r.csv" ] || fail "r.csv exists"
    ;;

  stdout_reader_gone)
    # A pipe whose reader has ended before the first write: the write
    # fails with EPIPE and is reported, rather than ending the run silently.
    mkdir -p "$scratch/run"
    printf '%s' "$short_orvane" >"$scratch/run/in"
    exec {pipe}> >(exit 0)
    wait $!
    (cd "$scratch/run" && "$orvane" <in >&$pipe 2>err)
    echo $? >"$scratch/run/status"
    exec {pipe}>&-
    expect_report "$scratch/run" "I/O エラー 1032"
    ;;

  stdout_disk_full)
    # The console output itself goes to a full file system.
    run_full() {
      fill_up && mkdir -p "$scratch/run" && printf '%s' "$short_orvane" >"$scratch/run/in" &&
        (cd "$scratch/run" && "$orvane" <in >"$scratch/mnt/out" 2>err)
      echo $? >"$scratch/run/status"
    }
    in_tmpfs size=64k run_full
    expect_report "$scratch/run" "I/O エラー 112"
    [ ! -e "$scratch/run/r.csv" ] || fail "r.csv exists"
    ;;

  stdin_is_a_folder)
    mkdir -p "$scratch/run"
    (cd "$scratch/run" && "$orvane" <. >out 2>err)
    echo $? >"$scratch/run/status"
    expect_report "$scratch/run" "ファイルへのアクセスが拒否されました"
    reference "$orvane" ""
    stdout_ends_with "$scratch/run" "　　カテゴリ数を半角数字で入力して下さい： "
    ;;

  stdin_closed)
    mkdir -p "$scratch/run"
    (cd "$scratch/run" && "$kestrin" <&- >out 2>err)
    echo $? >"$scratch/run/status"
    program=$kestrin
    expect_report "$scratch/run" "I/O エラー 1009"
    ;;

  answer_too_long_for_memory)
    # A file-name answer longer than the memory the process may have: the
    # read fails for lack of memory (ENOMEM), reported like any failed read.
    ldd "$orvane" | grep -q libasan && skip "the sanitizer runtime needs more address space than the limit"
    mkdir -p "$scratch/run"
    { printf '2\r\n3\r\n1\r\n'; head -c 300000000 /dev/zero | tr '\0' a; printf '\r\n\r\n'; } |
      (cd "$scratch/run" && prlimit --as=200000000 "$orvane" >out 2>err)
    echo $? >"$scratch/run/status"
    expect_report "$scratch/run" "I/O エラー 1012"
    [ -z "$(ls -A "$scratch/run" | grep -v -x -e out -e err -e status)" ] || fail "a file was left"
    ;;

  stderr_closed)
    # The report has nowhere to go; the status still tells.
    mkdir -p "$scratch/run"
    printf '2\r\nabc\r\n' >"$scratch/run/in"
    (cd "$scratch/run" && "$orvane" <in >out 2>&-)
    [ $? = 1 ] || fail "status $?, expected 1"
    ;;

  *)
    fail "no such case"
    ;;
esac
echo "ok ($case_name)"
