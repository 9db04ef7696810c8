#!/usr/bin/env bash
# Formats each manual page and fails on any warning, with groff and with
# mandoc's lint.
#
#   check_manual.sh PAGE...
#
# The pages hold Japanese text in UTF-8: groff reads them through its
# preconverter (-k) for the UTF-8 terminal device.
set -uo pipefail
# shellcheck source=../skip.sh
source "$(dirname "$0")/../skip.sh"
need groff groff-base
need mandoc mandoc

status=0
for page in "$@"; do
  output=$(groff -k -Tutf8 -ww -man -z "$page" 2>&1) || { echo "groff on $page failed"; status=1; }
  [ -z "$output" ] || { echo "groff on $page warns:"; echo "$output"; status=1; }
  output=$(mandoc -T lint -W style "$page" 2>&1) || { echo "mandoc on $page failed"; status=1; }
  [ -z "$output" ] || { echo "mandoc on $page warns:"; echo "$output"; status=1; }
done
[ $status = 0 ] && echo "ok: $# pages format without a warning"
exit $status
