#!/bin/bash
# fresh-folder.sh, which every script that makes a folder anew goes through, removes
# only a folder that it made for the same owner: a missing or empty folder is made and
# marked; its own is emptied; a folder of anyone else's, a file, a symbolic link and
# (as root, where mounts can be made) a mount inside its own folder are left as they
# were, with a message that names them. The scripts that run as root under make test
# refuse a folder they did not make in the same way: the Wine prefix, the release's
# staging folder, the screenshots.
#
#   test-fresh-folder.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fresh=$root/scripts/fresh-folder.sh

work=$(mktemp -d)
trap 'rm -rf --one-file-system "$work"' EXIT
cd "$work"

failures=0
fail() {
  echo "test-fresh-folder: FAILED: $*" >&2
  failures=$((failures + 1))
}
# refused <what> <folder> <expected words of the message> <command...>: the command
# exits 1 and says so, naming the folder.
refused() {
  local what=$1 folder=$2 words=$3
  shift 3
  local status=0
  "$@" > out 2> err || status=$?
  [ "$status" -eq 1 ] || fail "$what: exit status $status, expected 1"
  grep -qF -- "$folder" err || fail "$what: the message does not name $folder: $(cat err)"
  grep -qF -- "$words" err || fail "$what: expected \"$words\" in the message, got: $(cat err)"
}
# holds <folder> <names...>: exactly these entries, in the order ls -A gives.
holds() {
  local folder=$1
  shift
  local got
  got=$(ls -A -- "$folder" | tr '\n' ' ')
  [ "$got" = "$* " ] || fail "$folder holds '$got', expected '$* '"
}

# Missing, then its own: made with the mark, then emptied.
"$fresh" a me
holds a .made-by
[ "$(cat a/.made-by)" = me ] || fail "a/.made-by says '$(cat a/.made-by)', expected 'me'"
touch a/left
mkdir a/sub && touch a/sub/deep
"$fresh" a me
holds a .made-by

# Empty: marked. A missing parent is made.
mkdir b
"$fresh" b me
holds b .made-by
"$fresh" c/d me
holds c/d .made-by

# Another owner's, one without the mark, a file, a symbolic link: all left as they were.
refused "another owner's folder" a "made by me, not by you" "$fresh" a you
holds a .made-by
mkdir e && touch e/mine
refused "a folder without the mark" e "no .made-by in it" "$fresh" e me
holds e mine
touch f
refused "a file" f "not a folder" "$fresh" f me
[ -f f ] || fail "the file f is gone"
ln -s a g
refused "a symbolic link" g "a symbolic link" "$fresh" g me
[ -L g ] && holds a .made-by

# --check says the same and touches nothing.
touch a/kept
"$fresh" --check a me || fail "--check refused the owner's own folder"
holds a .made-by kept
rm a/kept
refused "--check on a folder without the mark" e "no .made-by" "$fresh" --check e me
"$fresh" --check h me || fail "--check refused a missing folder"
[ ! -e h ] || fail "--check made the missing folder h"

# A mount inside its own folder is neither walked into nor removed. The mount is made
# in a mount namespace of the case's own, so that nothing of it outlives the case.
mkdir -p a/mount outside && touch outside/precious
if [ "$(id -u)" -eq 0 ] && unshare --mount --propagation private true 2>/dev/null; then
  unshare --mount --propagation private bash -c '
    mount --bind outside a/mount || exit 2
    "$0" a me > out 2> err
    echo $? > status
    "$0" --check a me 2> check-err
    echo $? > check-status' "$fresh" || fail "the mount case could not run"
  [ "$(cat status)" = 1 ] || fail "a mount inside its own folder: exit status $(cat status), expected 1"
  grep -qF "something is mounted in it" err || fail "a mount inside its own folder: got: $(cat err)"
  [ "$(cat check-status)" = 1 ] || fail "--check with a mount inside: exit status $(cat check-status), expected 1"
  [ -f outside/precious ] || fail "the file in the folder bound into a/mount was removed"
else
  echo "test-fresh-folder: the mount case is not tried: it needs root and a mount namespace"
fi
rm -rf a/mount outside

# The scripts that run as root refuse a folder they did not make.
mkdir -p prefix && touch prefix/notes
refused "wine-prefix.sh start on a folder it did not make" "$work/prefix" "no .made-by in it" \
  "$root/wine/wine-prefix.sh" start prefix
holds prefix notes
[ ! -e prefix.tmp ] || fail "wine-prefix.sh made prefix.tmp beside a folder it refused"
mkdir -p stage && touch stage/notes Horavane.asi Horavane.debug
refused "make-release.sh on a staging folder it did not make" stage "no .made-by in it" \
  "$root/packaging/make-release.sh" 1.0.0 "$work" /bin/true "$work/dist" stage
holds stage notes

if [ "$failures" -gt 0 ]; then
  echo "test-fresh-folder: $failures failed"
  exit 1
fi
echo "test-fresh-folder: every case passed"
