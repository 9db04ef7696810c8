#!/usr/bin/env bash
# The README's install line names git and exactly the packages that CI
# installs (.ci/packages), so that a newcomer's machine has what CI has.
#
#   readme_packages.sh README PACKAGES
set -uo pipefail
readme=$1
list=$2

# The install line with its continuation lines, as one line.
line=$(sed -n '/apt-get install -y git /,/[^\\]$/p' "$readme" | tr -d '\\\n')
[ -n "$line" ] || { echo "FAIL: no 'apt-get install -y git ...' line in $readme"; exit 1; }
shown=$(printf '%s\n' ${line#*apt-get install -y git } | sort)
wanted=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' -e '/^$/d' "$list" | sort)
if [ "$shown" != "$wanted" ]; then
  echo "FAIL: the README's install line and $list differ (< README, > $list):"
  diff <(echo "$shown") <(echo "$wanted")
  exit 1
fi
echo "ok: the README installs the $(echo "$wanted" | wc -l) packages of $list, and git"
