#!/bin/bash
# The one Wine prefix of a run: made fresh, with its server kept running so that every
# Wine check after it starts at once, and stopped at the end.
#
#   wine-prefix.sh start <prefix folder>   makes the prefix (one retry); on failure
#                                          prints what Wine said
#   wine-prefix.sh run <prefix folder> <command> [args...]
#                                          runs the command (wine ..., or a script that
#                                          runs wine) with that prefix and its server;
#                                          as root, without root's override of file
#                                          modes (below)
#   wine-prefix.sh stop <prefix folder>    stops its server
#
# Debian's Wine makes its server's folder (wine-XXXXXX, holding the socket) under
# TMPDIR, or /tmp, names it in the prefix's file `wineserver`, and leaves it there when
# the server ends. Every Wine process of a prefix looks for its server in its own TMPDIR:
# one with another TMPDIR starts a second server, in a folder of its own. So every Wine
# process here gets the one TMPDIR below, the folder <prefix folder>.tmp beside the
# prefix, whatever TMPDIR the caller has: nothing goes into /tmp, and removing the build
# folder removes it.
#
# Debian 13's Wine (10.0) aborts ("free(): invalid pointer") in the server and in every
# client whenever TMPDIR is set, whatever it names. Where it does, `start` leaves a marker
# beside the prefix, every Wine process of the prefix runs without TMPDIR, so the
# server's folder is /tmp/wine-XXXXXX, and `stop` removes that folder once the server
# has ended; the next `start` removes one that a stopped run left.
set -euo pipefail
usage="usage: wine-prefix.sh start|stop <prefix folder>, or wine-prefix.sh run <prefix folder> <command> [args...]"
mode=${1:?$usage}
prefix=$(realpath -m -- "${2:?$usage}")
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree=;mshtml="
server_tmpdir=$prefix.tmp
tmpdir_aborts=$prefix.tmpdir-aborts

# It may run as root (make test does): it removes only the prefix and server's folder
# that an earlier start made (each holds the mark of scripts/fresh-folder.sh), and it
# writes or removes the files beside the prefix only once the prefix is such a folder.
fresh_folder=$(dirname "$0")/../scripts/fresh-folder.sh
owner=wine-prefix
"$fresh_folder" --check "$prefix" "$owner"
"$fresh_folder" --check "$server_tmpdir" "$owner"

# Every Wine process of the prefix gets the one TMPDIR, or none where Wine aborts on it.
use_server_tmpdir() {
  if [ -f "$tmpdir_aborts" ]; then unset TMPDIR; else export TMPDIR=$server_tmpdir; fi
}

# The server's folder in /tmp, which Wine leaves when its server ends. `start` records
# the one its own server made, by name and by device and inode; only that folder is
# removed, once no server of the prefix runs, and only while it is still that folder.
folder_in_tmp=$prefix.folder-in-tmp

record_folder_in_tmp() {
  [ -f "$tmpdir_aborts" ] || return 0
  local name
  name=$(cat "$prefix/wineserver")
  printf '%s %s\n' "$name" "$(stat -c %d:%i -- "/tmp/$name")" > "$folder_in_tmp"
}

remove_folder_in_tmp() {
  [ -f "$folder_in_tmp" ] || return 0
  local name id
  read -r name id < "$folder_in_tmp"
  (unset TMPDIR; wineserver -k 2>/dev/null; wineserver -w 2>/dev/null) || true
  if [[ $name =~ ^wine-[A-Za-z0-9]{6}$ ]] && [ "$(stat -c %d:%i -- "/tmp/$name" 2>/dev/null)" = "$id" ]; then
    rm -rf -- "/tmp/$name"
  fi
  rm -f -- "$folder_in_tmp"
}

# Windows refuses to write a read-only file, even for an administrator. Wine's server,
# which opens the files, would write one as root, whose CAP_DAC_OVERRIDE passes over
# file modes; so as root every Wine process of the prefix runs without that override
# (nor DAC_READ_SEARCH), and root's checks meet a read-only horavane.ini as players do.
# Every process, not the server alone: the server ends 60 s after its last client (or
# when killed), and the next client starts a new one as its own child, with the
# client's capabilities; which program it starts cannot be chosen (Debian 12's Wine
# starts the wineserver beside its loader, whatever WINESERVER names). So `start` runs
# the server and wineboot without the override, and `run` its command. Where even that
# cannot be dropped (no CAP_SETPCAP), a marker beside the prefix tells the checks that
# need it, and nothing is dropped.
root_writes_read_only=$prefix.root-writes-read-only
drop=(setpriv --inh-caps=-dac_override,-dac_read_search --bounding-set=-dac_override,-dac_read_search)
without_override=()  # put before each Wine process: the drop, as root where it works

case "$mode" in
  start)
    command -v wine >/dev/null || { echo "wine-prefix: wine is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
    remove_folder_in_tmp
    rm -f "$tmpdir_aborts"
    [ -d "$prefix" ] || "$fresh_folder" "$prefix" "$owner"  # made anew below, after the probe
    "$fresh_folder" "$server_tmpdir" "$owner"
    # 134: the abort of a Wine that cannot take TMPDIR (with no server running, -k
    # otherwise ends with 1 at once; without the prefix's folder it ends before it looks
    # at TMPDIR).
    status=0
    # In a subshell that waits, so that bash's "Aborted" goes where Wine's message goes.
    (TMPDIR=$server_tmpdir wineserver -k; exit $?) 2>/dev/null || status=$?
    rm -f "$prefix/wineserver"  # the probe's record of a folder in $server_tmpdir
    if [ "$status" -eq 134 ]; then
      echo "wine-prefix: this Wine aborts whenever TMPDIR is set; its server's folder goes into /tmp and is removed at stop" |
        tee "$tmpdir_aborts"
    fi
    use_server_tmpdir
    rm -f "$root_writes_read_only"
    if [ "$(id -u)" -eq 0 ]; then
      # setpriv can leave a capability it may not drop without a word: ask the result.
      if "${drop[@]}" bash -c 'caps=$(sed -n "s/^CapEff:\t//p" /proc/self/status); (( (0x$caps & 6) == 0 ))' 2>/dev/null; then
        without_override=("${drop[@]}")
      else
        echo "wine-prefix: cannot run Wine's server without root's override of file modes; it writes read-only files" |
          tee "$root_writes_read_only" >&2
      fi
    fi
    for attempt in 1 2; do
      # Only a prefix that names its server's folder may have a server to stop: asked
      # without one, Debian's Wine makes a folder for nothing, in /tmp where it aborts.
      if [ -f "$prefix/wineserver" ]; then wineserver -k 2>/dev/null || true; fi
      remove_folder_in_tmp  # of a first attempt that failed
      "$fresh_folder" "$prefix" "$owner"
      "$fresh_folder" "$server_tmpdir" "$owner"
      # The server first, persistent, so that it outlives wineboot until `stop`; a run
      # stopped before `stop` (Ctrl-C, a closed terminal) leaves it for 60 s after its
      # last client at most, not until the next run.
      if "${without_override[@]}" wineserver -p60 > "$prefix.log" 2>&1 && record_folder_in_tmp &&
        "${without_override[@]}" wineboot --init >> "$prefix.log" 2>&1; then
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
    [ -d "$server_tmpdir" ] || { echo "wine-prefix: $server_tmpdir: no such folder; wine-prefix.sh start $prefix makes the prefix first" >&2; exit 1; }
    use_server_tmpdir
    shift 2
    # `start` left the marker where the drop does not work.
    if [ "$(id -u)" -eq 0 ] && [ ! -f "$root_writes_read_only" ]; then without_override=("${drop[@]}"); fi
    exec "${without_override[@]}" "$@"
    ;;
  stop)
    use_server_tmpdir
    wineserver -k 2>/dev/null || true
    remove_folder_in_tmp
    echo "wine-prefix: server of $prefix stopped"
    ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
