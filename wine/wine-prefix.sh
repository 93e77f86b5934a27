#!/bin/bash
# The one Wine prefix of a run: made fresh, with its server kept running so that every
# Wine check after it starts at once, and stopped at the end.
#
#   wine-prefix.sh start <prefix folder>   makes the prefix (one retry); on failure
#                                          prints what Wine said
#   wine-prefix.sh run <prefix folder> <command> [args...]
#                                          runs the command (wine ..., or a script that
#                                          runs wine) with that prefix and its server
#   wine-prefix.sh stop <prefix folder>    stops its server
#
# Debian's Wine makes its server's folder (wine-XXXXXX, holding the socket) under
# TMPDIR, or /tmp, names it in the prefix's file `wineserver`, and leaves it there when
# the server ends. Every Wine process of a prefix looks for its server in its own TMPDIR:
# one with another TMPDIR starts a second server, in a folder of its own. So every Wine
# process here gets the one TMPDIR below, the folder <prefix folder>.tmp beside the
# prefix, whatever TMPDIR the caller has: nothing goes into /tmp, and removing the build
# folder removes it.
set -euo pipefail
usage="usage: wine-prefix.sh start|stop <prefix folder>, or wine-prefix.sh run <prefix folder> <command> [args...]"
mode=${1:?$usage}
prefix=$(realpath -m -- "${2:?$usage}")
export WINEPREFIX=$prefix TMPDIR=$prefix.tmp WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree=;mshtml="

# Windows refuses to write a read-only file, even for an administrator. Wine's server,
# which opens the files, would write one as root, whose CAP_DAC_OVERRIDE passes over
# file modes; so as root it runs without that override (nor DAC_READ_SEARCH), and
# root's checks meet a read-only horavane.ini as players do. Where even that cannot be
# dropped (no CAP_SETPCAP), a marker beside the prefix tells the checks that need it.
server=(wineserver -p60)
root_writes_read_only=$prefix.root-writes-read-only
drop=(setpriv --inh-caps=-dac_override,-dac_read_search --bounding-set=-dac_override,-dac_read_search)

case "$mode" in
  start)
    command -v wine >/dev/null || { echo "wine-prefix: wine is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
    rm -f "$root_writes_read_only"
    if [ "$(id -u)" -eq 0 ]; then
      # setpriv can leave a capability it may not drop without a word: ask the result.
      if "${drop[@]}" bash -c 'caps=$(sed -n "s/^CapEff:\t//p" /proc/self/status); (( (0x$caps & 6) == 0 ))' 2>/dev/null; then
        server=("${drop[@]}" "${server[@]}")
      else
        echo "wine-prefix: cannot run Wine's server without root's override of file modes; it writes read-only files" |
          tee "$root_writes_read_only" >&2
      fi
    fi
    for attempt in 1 2; do
      wineserver -k 2>/dev/null || true
      rm -rf "$prefix" "$TMPDIR"
      mkdir -p "$prefix" "$TMPDIR"
      # The server first, persistent, so that it outlives wineboot until `stop`; a run
      # stopped before `stop` (Ctrl-C, a closed terminal) leaves it for 60 s after its
      # last client at most, not until the next run.
      if "${server[@]}" > "$prefix.log" 2>&1 && wineboot --init >> "$prefix.log" 2>&1; then
        echo "wine-prefix: $prefix ready (attempt $attempt)"
        exit 0
      fi
      echo "wine-prefix: wineboot failed (attempt $attempt); Wine said:" >&2
      if [ -s "$prefix.log" ]; then cat "$prefix.log" >&2; else echo "  (nothing)" >&2; fi
    done
    exit 1
    ;;
  run)
    [ $# -ge 3 ] || { echo "$usage" >&2; exit 2; }
    [ -d "$TMPDIR" ] || { echo "wine-prefix: $TMPDIR: no such folder; wine-prefix.sh start $prefix makes the prefix first" >&2; exit 1; }
    shift 2
    exec "$@"
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    echo "wine-prefix: server of $prefix stopped"
    ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
