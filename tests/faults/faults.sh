#!/usr/bin/env bash
# What the programs do when the file system or the standard streams fail.
#
#   faults.sh CASE ORVANE KESTRIN INJECTED_FS [SIGNAL_RACE]
#
# Each case runs a program in a scratch folder under a fault (a full or
# read-only file system, a missing folder, a file-size or open-file limit, a
# closed or broken standard stream) and checks that the run ends with the
# failure report and status 1, or normally, as the case says; that the
# result file holds only a beginning of what a run without the fault writes;
# and that standard output keeps what was written before the failure.
#
# A full or read-only file system is a folder that INJECTED_FS (a library
# loaded with LD_PRELOAD) makes behave so in the program's run, which needs
# no privilege. The same cases under tmpfs/ (tmpfs/disk_full_kestrin) mount
# a real tmpfs in a mount namespace of their own instead; they need root
# and a kernel that allows it, and are skipped (status 77) elsewhere.
set -uo pipefail

case_name=$1
orvane=$2
kestrin=$3
injected_fs=$4
signal_race=${5:-}
# shellcheck source=../skip.sh
source "$(dirname "$0")/../skip.sh"
scratch=$(mktemp -d /tmp/exact-faults-XXXXXX)
scratch=$(readlink -f "$scratch")
trap 'rm -rf "$scratch"' EXIT
export LC_ALL=C.UTF-8

fail() {
  echo "FAIL ($case_name): $*" >&2
  exit 1
}

# The dialogues: a listing of 4186 rows (about 370 KB), a short one, and
# kestrin's largest within its announced limit (801 rows, about 88 KB).
long_orvane=$'3\r\n30\r\n30\r\n30\r\nr\r\n\r\n'
short_orvane=$'2\r\n3\r\n1\r\nr\r\n\r\n'
long_kestrin=$'400 400 400 400\r\nr\r\n\r\n'
# 1755 progress lines (about 28 KB) and 1755 rows (about 140 KB).
many_levels=$'2\r\n1000\r\n754\r\nr\r\n\r\n'

# run DIR PROGRAM INPUT [OUT]: runs PROGRAM in DIR with INPUT as standard
# input; leaves in, out, err and status in OUT (default DIR). On a file
# system made by on_file_system, the program runs in the environment that
# makes it so (program_env).
run() {
  local dir=$1 program=$2 input=$3 out=${4:-$1}
  printf '%s' "$input" >"$out/in"
  (cd "$dir" && env ${program_env[@]+"${program_env[@]}"} "$program" <"$out/in" >"$out/out" 2>"$out/err")
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

# preload SETTING...: the runs that follow load INJECTED_FS with these
# settings (FAULT_DIR=..., FAULT_READ_AFTER=...), until program_env=().
preload() {
  [ -f "$injected_fs" ] || fail "no library $injected_fs"
  # A sanitizer runtime wants to be the first library loaded, and would end
  # the run on finding this one ahead of it.
  program_env=(LD_PRELOAD="$injected_fs" "$@"
               ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0")
}

# only_run_files DIR: DIR holds nothing but the run's own in, out, err and
# status.
only_run_files() {
  [ -z "$(ls -A "$1" | grep -v -x -e in -e out -e err -e status)" ] || fail "a file was left"
}

# as_user COMMAND...: runs COMMAND as a user without privilege: as nobody
# when the test runs as root (who may write any file), as the test's own
# user otherwise. Folders it must reach are made open to all first.
as_user() {
  if [ "$(id -u)" = 0 ]; then
    need setpriv util-linux
    setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
  else
    "$@"
  fi
}

# user_folder DIR: DIR made, the user's of as_user, with $scratch open to
# them.
user_folder() {
  chmod 755 "$scratch"
  mkdir -p "$1"
  [ "$(id -u)" = 0 ] && chown 65534:65534 "$1"
  return 0
}

# cli_run DIR COMMAND...: runs a command of the command-line mode in DIR,
# leaving out, err and status in $scratch.
cli_run() {
  local dir=$1
  shift
  (cd "$dir" && "$@" >"$scratch/out" 2>"$scratch/err")
  echo $? >"$scratch/status"
}

# expect_cli_failure MESSAGE: status 1, nothing on standard output, one
# line on standard error.
expect_cli_failure() {
  [ "$(cat "$scratch/status")" = 1 ] || fail "status $(cat "$scratch/status"), expected 1; stderr: $(cat "$scratch/err")"
  [ ! -s "$scratch/out" ] || fail "standard output is not empty"
  [ "$(cat "$scratch/err")" = "$1" ] || fail "stderr is \"$(cat "$scratch/err")\", expected \"$1\""
}

# same_run A B: the runs in folders A and B wrote the same standard output
# and error and ended with the same status.
same_run() {
  cmp -s "$1/out" "$2/out" || fail "stdout differs from the run in $(basename "$1")"
  cmp -s "$1/err" "$2/err" || fail "stderr differs from the run in $(basename "$1"): $(cat "$2/err")"
  cmp -s "$1/status" "$2/status" || fail "status $(cat "$2/status"), expected $(cat "$1/status")"
}

# on_file_system KIND COMMAND...: runs COMMAND (a shell function of this
# script) with $fs, a folder that behaves as a file system of that KIND:
#   room=BYTES  empty, with room for BYTES    full       no room left
#   no_inodes   no file can be created        read_only  mounted read-only
# The files left in $fs are copied to $scratch/left, where the run's own
# in, out, err and status go.
on_file_system() {
  local kind=$1
  shift
  fs=$scratch/fs
  mkdir -p "$fs" "$scratch/left"
  if [ "$mode" = tmpfs ]; then
    in_tmpfs "$kind" "$@"
    return
  fi
  preload FAULT_DIR="$fs"
  case $kind in
    room=*) program_env+=(FAULT_ROOM="${kind#room=}") ;;
    full) program_env+=(FAULT_ROOM=0) ;;
    no_inodes) program_env+=(FAULT_OPEN_ERRNO=28) ;;  # ENOSPC
    read_only) program_env+=(FAULT_OPEN_ERRNO=30) ;;  # EROFS
  esac
  "$@" || fail "the run on the injected file system could not be made"
  program_env=()
  cp -a "$fs/." "$scratch/left/"
}

# in_tmpfs KIND COMMAND...: the same with a tmpfs mounted on $fs, in a
# mount namespace of its own.
in_tmpfs() {
  local kind=$1 options prepare=:
  shift
  case $kind in
    room=*) options=size=${kind#room=} ;;
    full) options=size=65536 prepare=fill_up ;;
    no_inodes) options=size=65536,nr_inodes=8 prepare=use_up_inodes ;;
    read_only) options=ro ;;
  esac
  [ "$(id -u)" = 0 ] || skip "mounting a tmpfs needs root"
  local refusal
  refusal=$(unshare -m true 2>&1) || skip "no private mount namespace here: $refusal"
  export -f "$@" run fail fill_up use_up_inodes
  export scratch fs case_name orvane kestrin long_orvane short_orvane long_kestrin many_levels
  unshare -m bash -c "mount -t tmpfs -o $options none \"\$fs\" || exit 77
    $prepare && $* ; status=\$?
    cp -a \"\$fs/.\" \"\$scratch/left/\" 2>/dev/null
    exit \$status"
  local status=$?
  [ $status = 77 ] && skip "mounting a tmpfs is not allowed here"
  [ $status = 0 ] || fail "the run in the tmpfs could not be made"
}

fill_up() {
  # Everything the tmpfs has, taken by one file.
  dd if=/dev/zero of="$fs/filler" bs=4096 2>/dev/null
  [ "$(df --output=avail "$fs" | tail -1)" -eq 0 ]
}

use_up_inodes() {
  local n=0
  while : >"$fs/f$n" 2>/dev/null; do n=$((n + 1)); done
}

mode=injected
fault=$case_name
if [[ $case_name == tmpfs/* ]]; then
  mode=tmpfs
  fault=${case_name#tmpfs/}
fi

program=$orvane
case $fault in
  disk_full_during_listing)
    # The listing fills the file system: the write that finds no room is
    # the failure; the file keeps what reached it, the console what was
    # written before (the progress lines).
    reference "$orvane" "$long_orvane"
    run_full() { run "$fs" "$orvane" "$long_orvane" "$scratch/left"; }
    on_file_system room=65536 run_full
    expect_report "$scratch/left" "I/O エラー 112"
    is_prefix "$scratch/left/r.csv" "$scratch/ref/r.csv" || fail "r.csv is not a beginning of the full listing"
    [ "$(stat -c %s "$scratch/left/r.csv")" -gt 0 ] || fail "r.csv is empty"
    stdout_ends_with "$scratch/left" $'level 1:    90\r\n'
    ;;

  disk_full_kestrin)
    program=$kestrin
    reference "$kestrin" "$long_kestrin"
    run_full() { run "$fs" "$kestrin" "$long_kestrin" "$scratch/left"; }
    # 32 KiB: the first block of the listing is written only in part.
    on_file_system room=32768 run_full
    expect_report "$scratch/left" "I/O エラー 112"
    is_prefix "$scratch/left/r.csv" "$scratch/ref/r.csv" || fail "r.csv is not a beginning of the full listing"
    [ "$(stat -c %s "$scratch/left/r.csv")" = 32768 ] || fail "r.csv does not fill the file system"
    stdout_ends_with "$scratch/left" $' Now calulating ........ \r\n\r\n'
    ;;

  disk_full_at_close)
    # A short file is held back until it is closed: the close finds no
    # room, after the summary has reached the console.
    reference "$orvane" "$short_orvane"
    run_full() { run "$fs" "$orvane" "$short_orvane" "$scratch/left"; }
    on_file_system full run_full
    expect_report "$scratch/left" "I/O エラー 112"
    is_prefix "$scratch/left/r.csv" "$scratch/ref/r.csv" || fail "r.csv is not a beginning of the full listing"
    cmp -s "$scratch/ref/out" "$scratch/left/out" || fail "stdout is not the whole run's output"
    ;;

  no_room_for_the_file)
    # No inode left: the file cannot be created.
    reference "$orvane" "$short_orvane"
    run_full() { run "$fs" "$orvane" "$short_orvane" "$scratch/left"; }
    on_file_system no_inodes run_full
    expect_report "$scratch/left" "I/O エラー 112"
    [ ! -e "$scratch/left/r.csv" ] || fail "r.csv exists"
    stdout_ends_with "$scratch/left" "　　結果を出力するファイル名を入力して下さい:　"
    ;;

  read_only_file_system)
    reference "$orvane" "$short_orvane"
    run_ro() { run "$fs" "$orvane" "$short_orvane" "$scratch/left"; }
    on_file_system read_only run_ro
    expect_report "$scratch/left" "ファイルへのアクセスが拒否されました"
    ;;

  missing_folder)
    mkdir -p "$scratch/run"
    run "$scratch/run" "$orvane" $'2\r\n3\r\n1\r\nnowhere/r\r\n\r\n'
    expect_report "$scratch/run" "不正なファイル名 - nowhere/r.csv"
    only_run_files "$scratch/run"
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
      need setpriv util-linux
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
    # The answers then go in with one write, smaller than a pipe's atomic
    # size: the program may end as soon as it has read the file name, and a
    # write after that would find no reader.
    mkdir -p "$scratch/run"
    mkfifo "$scratch/run/fifo"
    printf '%s' "$short_orvane" >"$scratch/run/in"
    (cd "$scratch/run" && exec "$orvane" <fifo >out 2>err) &
    pid=$!
    exec {writer}>"$scratch/run/fifo"
    # Waiting in read(0, ...) is where the program stays until it is
    # answered; the wait for it is bounded only to end a hung run.
    waited=0
    until [ "$(cut -d' ' -f1,2 "/proc/$pid/syscall" 2>/dev/null)" = "0 0x0" ]; do
      [ "$(cut -d' ' -f3 "/proc/$pid/stat" 2>/dev/null)" != Z ] || fail "the program ended before its first answer"
      [ $waited -lt 6000 ] || fail "the program did not wait for its first answer within 10 minutes"
      sleep 0.1
      waited=$((waited + 1))
    done
    prlimit --pid "$pid" --nofile=3:3 || fail "prlimit failed"
    cat "$scratch/run/in" >&$writer || fail "the answers could not be written"
    exec {writer}>&-
    wait $pid
    echo $? >"$scratch/run/status"
    expect_report "$scratch/run" "開かれたファイルが多すぎます。"
    [ ! -e "$scratch/run/r.csv" ] || fail "r.csv exists"
    ;;

  console_full_during_listing)
    # The console's file system fills up while the outcomes are enumerated,
    # after rows have reached the result file: the file keeps the opening
    # blocks alone, as if the listing had waited for the enumeration.
    reference "$orvane" "$many_levels"
    run_full() {
      mkdir -p "$scratch/left/run" && printf '%s' "$many_levels" >"$scratch/left/in" &&
        (cd "$scratch/left/run" &&
         env ${program_env[@]+"${program_env[@]}"} "$orvane" <"$scratch/left/in" >"$fs/out" 2>"$scratch/left/err")
      echo $? >"$scratch/left/status"
    }
    on_file_system room=16384 run_full
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
        (cd "$fs" &&
         env ${program_env[@]+"${program_env[@]}"} "$orvane" <"$scratch/left/in" >"$fs/out" 2>"$scratch/left/err")
      echo $? >"$scratch/left/status"
    }
    on_file_system room=65536 run_shared
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
    mkdir -p "$scratch/run"
    printf '%s' "$short_orvane" >"$scratch/run/in"
    run_full() {
      (cd "$scratch/run" && env ${program_env[@]+"${program_env[@]}"} "$orvane" <in >"$fs/out" 2>err)
      echo $? >"$scratch/run/status"
    }
    on_file_system full run_full
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

  stdin_fails_at_the_file_name)
    # Standard input fails (EIO) where orvane reads the result file's name:
    # the failure is reported there, and no file is made.
    mkdir -p "$scratch/run"
    preload FAULT_READ_AFTER=9
    run "$scratch/run" "$orvane" "$short_orvane"
    program_env=()
    expect_report "$scratch/run" "I/O エラー 1005"
    only_run_files "$scratch/run"
    reference "$orvane" "$short_orvane"
    stdout_ends_with "$scratch/run" "　　結果を出力するファイル名を入力して下さい:　"
    ;;

  stdin_fails_between_cells)
    # Standard input fails (EIO) after kestrin's first cell: the failure is
    # reported once the read fails, and no file is made.
    program=$kestrin
    mkdir -p "$scratch/run"
    preload FAULT_READ_AFTER=4
    run "$scratch/run" "$kestrin" "$long_kestrin"
    program_env=()
    expect_report "$scratch/run" "I/O エラー 1005"
    only_run_files "$scratch/run"
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
    # (The program ends before it has read all: the writer's end is broken.)
    [ -z "${EXACT_SANITIZED:-}" ] ||
      skip "with AddressSanitizer, a failed allocation ends the process without calling the new handler"
    mkdir -p "$scratch/run"
    { printf '2\r\n3\r\n1\r\n'; head -c 300000000 /dev/zero | tr '\0' a; printf '\r\n\r\n'; } |
      (cd "$scratch/run" && prlimit --as=200000000 "$orvane" >out 2>err)
    echo "${PIPESTATUS[1]}" >"$scratch/run/status"
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

  result_name_is_a_dangling_link)
    # A result name that is a symbolic link to nothing is refused as an
    # existing file is, and nothing is made through it: neither the file it
    # names nor, for a link into a missing folder, the failure of opening it.
    mkdir -p "$scratch/existing" "$scratch/run"
    echo kept >"$scratch/existing/r.csv"
    run "$scratch/existing" "$orvane" "$short_orvane"
    ln -s target.csv "$scratch/run/r.csv"
    run "$scratch/run" "$orvane" "$short_orvane"
    same_run "$scratch/existing" "$scratch/run"
    [ -L "$scratch/run/r.csv" ] && [ "$(readlink "$scratch/run/r.csv")" = target.csv ] || fail "the link was changed"
    [ ! -e "$scratch/run/target.csv" ] || fail "the link's target was made"
    rm "$scratch/run/r.csv"
    ln -s nowhere/target.csv "$scratch/run/r.csv"
    run "$scratch/run" "$orvane" "$short_orvane"
    same_run "$scratch/existing" "$scratch/run"
    program=$kestrin
    run "$scratch/existing" "$kestrin" "$long_kestrin"
    run "$scratch/run" "$kestrin" "$long_kestrin"
    same_run "$scratch/existing" "$scratch/run"
    [ ! -e "$scratch/run/nowhere" ] || fail "a folder was made"
    ;;

  result_file_made_meanwhile)
    # Another program makes the result file between the test for it and its
    # creation: the run is refused as if the file had been there, and the
    # other program's file is left whole.
    mkdir -p "$scratch/existing" "$scratch/run"
    echo kept >"$scratch/existing/r.csv"
    run "$scratch/existing" "$orvane" "$short_orvane"
    preload FAULT_MADE_MEANWHILE=r.csv
    run "$scratch/run" "$orvane" "$short_orvane"
    program_env=()
    same_run "$scratch/existing" "$scratch/run"
    [ "$(cat "$scratch/run/r.csv")" = "made meanwhile" ] || fail "the file made meanwhile was written"
    # The default file is replaced as before, made meanwhile or not.
    mkdir -p "$scratch/default"
    preload FAULT_MADE_MEANWHILE=log.csv
    run "$scratch/default" "$orvane" $'2\r\n3\r\n1\r\n\r\n\r\n'
    program_env=()
    [ "$(cat "$scratch/default/status")" = 0 ] || fail "the run with log.csv made meanwhile did not end normally"
    grep -q "p (chi2)" "$scratch/default/log.csv" || fail "log.csv was not written"
    ;;

  cli_file_not_writable)
    # What the shell's '>' refuses is refused with status 1 and left alone:
    # a read-only listing or picture, and a file in a folder the user may
    # not write. The runs are made without privilege, which would write
    # them all.
    user_folder "$scratch/run"
    user_folder "$scratch/run/locked"
    for name in l.csv p.svg locked/l.csv; do echo "old $name" >"$scratch/run/$name"; done
    chmod 444 "$scratch/run/l.csv" "$scratch/run/p.svg"
    chmod 666 "$scratch/run/locked/l.csv"
    chmod 555 "$scratch/run/locked"
    cli_run "$scratch/run" as_user "$orvane" -o l.csv 3 1
    expect_cli_failure "orvane: cannot write 'l.csv': Permission denied"
    cli_run "$scratch/run" as_user "$kestrin" --plot=p.svg 1 1 1 5
    expect_cli_failure "kestrin: cannot write 'p.svg': Permission denied"
    cli_run "$scratch/run" as_user "$orvane" -o locked/l.csv 3 1
    expect_cli_failure "orvane: cannot write 'locked/l.csv': Permission denied"
    cli_run "$scratch/run" as_user "$orvane" -o locked/new.csv 3 1
    expect_cli_failure "orvane: cannot write 'locked/new.csv': Permission denied"
    for name in l.csv p.svg locked/l.csv; do
      [ "$(cat "$scratch/run/$name")" = "old $name" ] || fail "$name was changed"
    done
    [ "$(stat -c %a "$scratch/run/l.csv")" = 444 ] || fail "the mode of l.csv was changed"
    [ "$(ls -A "$scratch/run" | sort | tr '\n' ' ')" = "l.csv locked p.svg " ] || fail "a file was left"
    [ "$(ls -A "$scratch/run/locked")" = l.csv ] || fail "a file was left in the locked folder"
    chmod 755 "$scratch/run/locked"
    ;;

  cli_owner_and_mode_kept)
    # A replaced file keeps its permission bits, and its owner and group
    # where the user may give them (root may); a user who may not gets the
    # file as their own, with its mode kept, as the run still succeeds.
    user_folder "$scratch/run"
    echo old >"$scratch/run/l.csv"
    chmod 640 "$scratch/run/l.csv"
    echo old >"$scratch/run/p.svg"
    chmod 600 "$scratch/run/p.svg"
    if [ "$(id -u)" = 0 ]; then
      chown 65534:65534 "$scratch/run/l.csv" "$scratch/run/p.svg"
      cli_run "$scratch/run" "$orvane" -o l.csv --plot=p.svg 3 1
      [ "$(cat "$scratch/status")" = 0 ] || fail "status $(cat "$scratch/status"): $(cat "$scratch/err")"
      [ "$(stat -c '%u:%g %a' "$scratch/run/l.csv")" = "65534:65534 640" ] ||
        fail "l.csv became $(stat -c '%u:%g %a' "$scratch/run/l.csv")"
      [ "$(stat -c '%u:%g %a' "$scratch/run/p.svg")" = "65534:65534 600" ] ||
        fail "p.svg became $(stat -c '%u:%g %a' "$scratch/run/p.svg")"
      # Root's file, open to all, replaced by nobody in nobody's folder.
      echo old >"$scratch/run/k.csv"
      chmod 666 "$scratch/run/k.csv"
      chown 0:0 "$scratch/run/k.csv"
      cli_run "$scratch/run" as_user "$kestrin" -o k.csv 1 1 1 5
      [ "$(cat "$scratch/status")" = 0 ] || fail "status $(cat "$scratch/status"): $(cat "$scratch/err")"
      [ "$(stat -c '%u:%g %a' "$scratch/run/k.csv")" = "65534:65534 666" ] ||
        fail "k.csv became $(stat -c '%u:%g %a' "$scratch/run/k.csv")"
    else
      cli_run "$scratch/run" "$orvane" -o l.csv --plot=p.svg 3 1
      [ "$(cat "$scratch/status")" = 0 ] || fail "status $(cat "$scratch/status"): $(cat "$scratch/err")"
      [ "$(stat -c %a "$scratch/run/l.csv") $(stat -c %a "$scratch/run/p.svg")" = "640 600" ] ||
        fail "the modes became $(stat -c %a "$scratch/run/l.csv") and $(stat -c %a "$scratch/run/p.svg")"
    fi
    grep -q '^x1,x2,probability' "$scratch/run/l.csv" || fail "l.csv is not the listing"
    grep -q '<svg' "$scratch/run/p.svg" || fail "p.svg is not the picture"
    ;;

  cli_interrupt_between_commits)
    # With a listing and a picture, a signal at any moment leaves both new
    # (status 0) or both as they were (the signal's status), never one of
    # each. Every rename is slowed, so that many signals fall among them.
    [ -x "$signal_race" ] || fail "no signal_race helper"
    race() {
      rm -rf "$scratch/ref" "$scratch/run"
      mkdir -p "$scratch/ref" "$scratch/run"
      (cd "$scratch/ref" && "$@" >/dev/null) || fail "the run without a signal failed"
      preload FAULT_RENAME_DELAY_US=3000
      env "${program_env[@]}" "$signal_race" 300 "$scratch/run" "$scratch/ref" "$@" ||
        fail "a run ended with one file new and the other old, or with a status that does not say so"
      program_env=()
    }
    race "$orvane" -o l.csv --plot=p.svg 30 30 30
    race "$kestrin" -o l.csv --plot=p.svg 400 477 500 377
    ;;

  *)
    fail "no such case"
    ;;
esac
echo "ok ($case_name)"
