#!/bin/bash
# Makes <folder> an empty folder of <owner>'s, for a tool that makes its output or its
# scratch files there anew on every run. A tool may run as root (make test does), so it
# removes only a folder that a run of its own made: each folder this makes holds the
# mark .made-by, naming its owner.
#
#   fresh-folder.sh <folder> <owner>
#   fresh-folder.sh --check <folder> <owner>   only says whether it would be made anew
#
# - <folder> missing: it is made, with the mark.
# - <folder> empty: it gets the mark (a run stopped between making it and marking it).
# - <folder> holds the mark naming <owner>: it is removed and made again, with the
#   mark; but where anything is mounted inside it (a bind mount of the same file system
#   too, which rm --one-file-system walks into), nothing is removed.
# - Anything else (another owner's folder, one without the mark, a file, a symbolic
#   link): nothing is touched, and it exits 1 naming the folder and why.
set -euo pipefail
usage="usage: fresh-folder.sh [--check] <folder> <owner>"
check=false
if [ "${1:-}" = --check ]; then
  check=true
  shift
fi
folder=${1:?$usage}
owner=${2:?$usage}
mark=.made-by

refuse() {
  echo "fresh-folder: $folder: $*; not removing it (remove it yourself if it may go)" >&2
  exit 1
}

if [ -L "$folder" ]; then
  refuse "a symbolic link"
elif [ -e "$folder" ] && [ ! -d "$folder" ]; then
  refuse "not a folder"
elif [ -d "$folder" ] && [ -n "$(ls -A -- "$folder")" ]; then
  [ -f "$folder/$mark" ] || refuse "not empty, and not made by $owner (no $mark in it)"
  made_by=$(cat -- "$folder/$mark")
  [ "$made_by" = "$owner" ] || refuse "made by $made_by, not by $owner"
  # Mount points as /proc/self/mountinfo writes them, with blanks and backslashes escaped.
  inside=$(realpath -- "$folder" | sed -e 's/\\/\\134/g' -e 's/ /\\040/g' -e 's/\t/\\011/g')/
  mounts=$(inside=$inside awk 'index($5 "/", ENVIRON["inside"]) == 1 { print "  " $5 }' /proc/self/mountinfo)
  [ -z "$mounts" ] || refuse "something is mounted in it:
$mounts
"
  $check && exit 0
  rm -rf --one-file-system -- "$folder" || refuse "something in it could not be removed"
fi
$check && exit 0
mkdir -p -- "$folder"
printf '%s\n' "$owner" > "$folder/$mark"
