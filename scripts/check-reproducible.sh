#!/bin/bash
# Builds the product a second time, from a clone of this repository in another folder
# and under another umask, and requires the same Horavane.asi, release zip and debug
# archive, byte for byte. The clone is HEAD plus the working tree's uncommitted changes and new files. Its
# zip is made with the first build's horavane-sim, which only supplies the key names and
# speeds.
#
#   check-reproducible.sh <version> <windows build folder> <horavane-sim> <dist folder> <scratch folder>
set -euo pipefail

usage="usage: check-reproducible.sh <version> <windows build folder> <horavane-sim> <dist folder> <scratch folder>"
version=${1:?$usage}
windows=${2:?$usage}
sim=$(realpath "${3:?$usage}")
dist=${4:?$usage}
scratch=${5:?$usage}
root=$(cd "$(dirname "$0")/.." && pwd)

fail() {
  echo "check-reproducible: $*" >&2
  exit 1
}

first_dll=$windows/Horavane.asi
first_zip=$dist/Horavane-$version.zip
first_debug_zip=$dist/Horavane-$version-debug.zip
for file in "$first_dll" "$first_zip" "$first_debug_zip"; do
  [ -f "$file" ] || fail "$file: no such file (make release)"
done

"$root/scripts/fresh-folder.sh" "$scratch" check-reproducible
scratch=$(cd "$scratch" && pwd)
copy=$scratch/another-clone-of-horavane
git clone --quiet --local --no-checkout "$root" "$copy"
git -C "$copy" checkout --quiet --detach "$(git -C "$root" rev-parse HEAD)"
# What a commit of the working tree would hold: its changes, and its new files.
git -C "$root" diff --binary HEAD | git -C "$copy" apply --allow-empty
(cd "$root" && git ls-files -z --others --exclude-standard | tar --null -T - -cf -) | tar -xf - -C "$copy"

[ "$(umask)" = 0077 ] && other_umask=0022 || other_umask=0077
(
  umask $other_umask
  cd "$copy"
  cmake --preset windows > "$scratch/configure.log" 2>&1 ||
    { cat "$scratch/configure.log" >&2; fail "configuring the second build failed"; }
  cmake --build build/windows -j "${JOBS:-2}" --target Horavane > "$scratch/build.log" 2>&1 ||
    { cat "$scratch/build.log" >&2; fail "the second build failed"; }
  packaging/make-release.sh "$version" build/windows "$sim" dist build/release > "$scratch/release.log" 2>&1 ||
    { cat "$scratch/release.log" >&2; fail "packaging the second build failed"; }
)

# same <first> <second>: equal files, or where they part.
same() {
  cmp "$1" "$2" >&2 && return
  echo "check-reproducible: $1 and $2 (umask $other_umask) differ" >&2
  if [[ $1 == *.asi ]]; then
    diff <(x86_64-w64-mingw32-objdump -x "$1" | sed 1,3d) <(x86_64-w64-mingw32-objdump -x "$2" | sed 1,3d) | head -20 >&2
  else
    diff <(unzip -Zv "$1" | sed 1d) <(unzip -Zv "$2" | sed 1d) | head -20 >&2
  fi
  return 1
}
status=0
same "$first_dll" "$copy/build/windows/Horavane.asi" || status=1
same "$first_zip" "$copy/dist/Horavane-$version.zip" || status=1
same "$first_debug_zip" "$copy/dist/Horavane-$version-debug.zip" || status=1
[ $status -eq 0 ] || exit 1
echo "check-reproducible: a second build in $copy, under umask $other_umask, gives the same files:"
(cd "$(dirname "$first_dll")" && sha256sum Horavane.asi) | sed 's/^/  /'
(cd "$dist" && sha256sum "Horavane-$version.zip" "Horavane-$version-debug.zip") | sed 's/^/  /'
