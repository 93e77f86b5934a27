#!/bin/bash
# As root, a Wine server that a client starts anew refuses a read-only file as the one
# `wine-prefix.sh start` started does, and as Windows does. The prefix's server ends 60 s
# after its last client; the next Wine process then starts another itself. Here the
# server is ended at once instead (wineserver -k, then -w until it is gone), and a
# scenario that has the plug-in write to a read-only horavane.ini runs under Wine, whose
# first process starts the new server; its expectations fail if that write went through.
# The check has a prefix of its own: ending the run's shared server would break the Wine
# checks that run beside it.
#
#   check-restarted-server.sh <prefix folder> <horavane-scenario> <windows build folder> <scenario.scn> <work folder>
#
# Skipped (77) when not run as root, whose override of file modes is the fault, and
# where that override cannot be dropped at all (compare-scenario.sh says so).
set -euo pipefail
usage="usage: check-restarted-server.sh <prefix folder> <horavane-scenario> <windows build folder> <scenario.scn> <work folder>"
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(realpath -m -- "${1:?$usage}")
runner=${2:?$usage}
windows=${3:?$usage}
scenario=${4:?$usage}
work=${5:?$usage}

fail() {
  echo "check-restarted-server: $*" >&2
  exit 1
}

if [ "$(id -u)" -ne 0 ]; then
  echo "check-restarted-server: skipped: not root; only root's override of file modes lets Wine write a read-only file"
  exit 77
fi

# The prefix's server is stopped however the check ends; only a prefix that names its
# server's folder has one (see wine-prefix.sh). A killed check leaves it for 60 s at most.
stop_server() {
  if [ -f "$prefix/wineserver" ]; then "$here/wine-prefix.sh" stop "$prefix" > /dev/null; fi
}
trap stop_server EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

"$here/wine-prefix.sh" start "$prefix"

# wineserver -k ends with 1 when no server runs: then no server would be started anew.
"$here/wine-prefix.sh" run "$prefix" wineserver -k || fail "no server of $prefix was running to be ended"
"$here/wine-prefix.sh" run "$prefix" wineserver -w

status=0
"$here/wine-prefix.sh" run "$prefix" "$here/compare-scenario.sh" "$runner" "$windows" "$scenario" "$work" || status=$?
case "$status" in
  0) echo "check-restarted-server: a server started by a client, after the first one ended, refused the read-only settings file" ;;
  77) exit 77 ;;
  *) fail "$scenario failed under Wine once the server of $prefix had ended and a client started another (above); a server with root's override of file modes writes a read-only file" ;;
esac
