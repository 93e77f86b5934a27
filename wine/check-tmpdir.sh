#!/bin/bash
# Where the Wine checks' server keeps its folder. wine-prefix.sh gives every Wine
# process of the run the folder <prefix folder>.tmp as TMPDIR, so that Debian's Wine
# makes its server's folder there and not in /tmp. The Wine checks themselves run with
# TMPDIR pointed at another folder of the build, which must stay empty: anything Wine
# puts there would have gone into /tmp. Where Wine aborts whenever TMPDIR is set (Debian
# 13's), the server's folder is in /tmp while it runs, and gone once it is stopped.
#
#   check-tmpdir.sh clear <checks' TMPDIR>                  makes that folder, empty
#   check-tmpdir.sh server <prefix folder> <checks' TMPDIR> while the prefix's server
#       runs: a Wine program run from a caller with that TMPDIR finds the one server,
#       whose folder is in <prefix folder>.tmp (or /tmp, as above), and nothing is
#       written to that TMPDIR or to /tmp
#   check-tmpdir.sh after <prefix folder> <checks' TMPDIR>  once the server is stopped:
#       that TMPDIR and /tmp still hold nothing of the prefix's
set -euo pipefail
usage="usage: check-tmpdir.sh clear <checks' TMPDIR>, or check-tmpdir.sh server|after <prefix folder> <checks' TMPDIR>"
here=$(cd "$(dirname "$0")" && pwd)
mode=${1:?$usage}

fail() {
  echo "check-tmpdir: $*" >&2
  exit 1
}

if [ "$mode" = clear ]; then
  exec "$here/../scripts/fresh-folder.sh" "${2:?$usage}" check-tmpdir
fi

prefix=$(realpath -m -- "${2:?$usage}")
caller=$(realpath -m -- "${3:?$usage}")
server_tmpdir=$prefix.tmp

# The checks' TMPDIR holds nothing: a Wine process that took it for its own made its
# server's folder there (wine-XXXXXX).
caller_is_empty() {
  [ -d "$caller" ] || fail "$caller: no such folder; check-tmpdir.sh clear makes it before the Wine checks"
  local left
  left=$(cd "$caller" && find . -mindepth 1 -maxdepth 3 ! -path ./.made-by | sed 's|^\./|  |')
  [ -z "$left" ] || fail "a Wine run wrote into its caller's TMPDIR $caller (it would have been /tmp), not into $server_tmpdir:
$left"
}

# Debian's Wine names its server's folder (relative to TMPDIR) in the prefix's file
# `wineserver`.
[ -r "$prefix/wineserver" ] || fail "$prefix/wineserver: no such file; Wine's server never ran in $prefix (is it Debian's Wine?)"
folder=$(cat "$prefix/wineserver")
case "$folder" in
  wine-?*) ;;
  *) fail "$prefix/wineserver: names '$folder', not a folder wine-XXXXXX" ;;
esac
# Where Wine aborts on TMPDIR (wine-prefix.sh leaves a marker saying so), the server's
# folder is in /tmp while it runs, and must be gone once it is stopped.
tmpdir_aborts=$prefix.tmpdir-aborts
server_folder=$server_tmpdir/$folder
if [ -f "$tmpdir_aborts" ]; then
  server_folder=/tmp/$folder
else
  [ ! -e "/tmp/$folder" ] || fail "/tmp/$folder: a Wine process of $prefix made its server's folder in /tmp"
fi

case "$mode" in
  server)
    caller_is_empty
    # A client from a caller whose TMPDIR is elsewhere: it must reach the running server.
    TMPDIR=$caller "$here/wine-prefix.sh" run "$prefix" wine cmd /c exit 0 ||
      fail "wine cmd /c exit 0 failed in $prefix"
    caller_is_empty
    [ -f "$tmpdir_aborts" ] || [ ! -e "/tmp/$folder" ] ||
      fail "/tmp/$folder: wine cmd, run through wine-prefix.sh, made its server's folder in /tmp"

    # The server's folder is server-<device>-<inode> of the prefix (both hexadecimal),
    # and the server works in it. Every process working in such a folder is the
    # prefix's server or a client of it connecting; they must all be in one folder,
    # the one in $server_tmpdir. Processes of other users cannot be read, and are not
    # this prefix's.
    read -r device inode < <(stat -c '%d %i' "$prefix")
    name=$(printf 'server-%x-%x' "$device" "$inode")
    expected=$server_folder/$name
    [ -S "$expected/socket" ] || fail "$expected/socket: no such socket; the server of $prefix is not where wine-prefix.sh puts it"
    declare -A in_use=()
    for cwd in /proc/[0-9]*/cwd; do
      where=$(readlink "$cwd" 2>/dev/null) || continue
      [ "${where##*/}" = "$name" ] && in_use[$where]+=" ${cwd//[!0-9]/}"
    done
    [ "${#in_use[@]}" -gt 0 ] || fail "no process works in a folder $name: the server of $prefix is not running"
    for where in "${!in_use[@]}"; do
      [ "$where" = "$expected" ] || fail "a second server of $prefix works in $where (processes${in_use[$where]}), beside the one in $expected"
    done
    if [ -f "$tmpdir_aborts" ]; then
      echo "check-tmpdir: one server of $prefix, in $expected ($(cat "$tmpdir_aborts")); nothing in $caller"
    else
      echo "check-tmpdir: one server of $prefix, in $expected; nothing in $caller or /tmp"
    fi
    ;;
  after)
    caller_is_empty
    [ ! -e "/tmp/$folder" ] || fail "/tmp/$folder: the server's folder is left in /tmp after its server stopped"
    echo "check-tmpdir: the Wine checks left nothing in $caller or /tmp"
    ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
