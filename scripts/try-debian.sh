#!/bin/bash
# Tries the project on a fresh Debian release as a newcomer would: makes a new minimal
# Debian of that release with debootstrap, adds git, make and sudo and a normal user who
# may use sudo, clones this checkout's committed HEAD into the user's home inside, and
# there, as that user, runs the given make targets in order (by default `demo`, then
# `test`). Each target's time is printed; the first failure stops the run.
#
#   sudo scripts/try-debian.sh <release> [<target>...]   e.g. trixie, or bookworm demo test coverage
#   sudo scripts/try-debian.sh --clean                   removes every tree no run is using
#
# Needs root on a Debian machine (debootstrap, chroot, mounts). Packages come from the
# mirror of this machine's own apt sources (HORAVANE_TRY_MIRROR overrides it; with
# neither, debootstrap's default).
#
# Runs as root, so it touches nothing but what it made:
# - The base folder, $HORAVANE_TRY_DIR (default /var/tmp/horavane-try), must be a real
#   folder, not a link, owned by root and writable by no one else, on a path that no one
#   but root can change; it is refused otherwise, before anything is written.
# - Each run makes a folder of its own there (<release>.XXXXXX) and removes only that,
#   when it ends, fails or is interrupted (HORAVANE_TRY_KEEP=1 keeps it). The run holds a
#   lock on it while it lives, so two runs at once, of one release or two, never touch
#   each other's folders.
# - Every step (debootstrap, the clone, the make targets) runs in a mount namespace and a
#   process namespace of the run's own, tied to this script's life: mounts there are
#   never seen outside, and when the script ends, is interrupted (INT, TERM, HUP) or
#   killed, everything inside is killed and its mounts go with it.
# - Only a folder whose run was killed (KILL gives no chance to remove it) outlives a run;
#   the next run removes it, naming it, and --clean removes it and every kept one.
set -euo pipefail
umask 022 # what the run writes, the bundle among it, is readable by the user inside

usage="usage: scripts/try-debian.sh <release> [<make target>...] | --clean"
USER_NAME=newcomer
LOCK=lock # in each run's folder, held while the run lives; the base's own is .lock
KEPT=kept # marks a folder kept on purpose, which only --clean removes

say() { echo "try-debian: $*"; }
refuse() {
  echo "try-debian: $*" >&2
  exit 2
}

# as_user <root> <command...>: the command inside the new system, as the user, in a clean
# environment such as a login gives.
as_user() {
  local root=$1
  shift
  chroot --userspec="$USER_NAME:$USER_NAME" "$root" /usr/bin/env -i \
    HOME="/home/$USER_NAME" USER="$USER_NAME" LOGNAME="$USER_NAME" SHELL=/bin/bash \
    PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 TERM=dumb "$@"
}

# ---- Inside the namespaces: the new system, the user, the clone, the targets ----
# --inside <run folder> <release> <mirror or ""> <target...>
if [ "${1:-}" = --inside ]; then
  run=$2 release=$3 mirror=$4
  shift 4
  root=$run/root
  mount -t proc proc /proc # this namespace's own processes, for ps and debootstrap

  start=$SECONDS
  say "a fresh Debian $release in $root"
  if ! debootstrap --variant=minbase --include=git,make,sudo,ca-certificates \
    "$release" "$root" ${mirror:+"$mirror"} > "$run/debootstrap.log" 2>&1; then
    tail -20 "$run/debootstrap.log" >&2
    say "debootstrap $release failed (the end of its log above)" >&2
    exit 1
  fi
  chroot "$root" useradd --create-home --shell /bin/bash "$USER_NAME"
  # The user may use sudo. No one is there to type a password, so sudo asks for none;
  # on a contributor's machine it asks once, when setup installs something.
  echo "$USER_NAME ALL=(ALL) NOPASSWD: ALL" > "$root/etc/sudoers.d/$USER_NAME"
  chmod 0440 "$root/etc/sudoers.d/$USER_NAME"
  say "$(sed -n 's/^PRETTY_NAME=//p' "$root/etc/os-release" | tr -d '"') ready in $((SECONDS - start)) s"

  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  mount -t tmpfs -o mode=1777 shm "$root/dev/shm"
  install -m 0644 "$run/horavane.bundle" "$root/tmp/horavane.bundle"
  as_user "$root" git -c advice.defaultBranchName=false clone --quiet /tmp/horavane.bundle "/home/$USER_NAME/horavane"
  say "cloned $(as_user "$root" git -C "/home/$USER_NAME/horavane" rev-parse --short HEAD) into /home/$USER_NAME/horavane"

  for target in "$@"; do
    say "make $target, as $USER_NAME"
    start=$SECONDS
    if ! as_user "$root" env -C "/home/$USER_NAME/horavane" make "$target"; then
      say "make $target FAILED after $((SECONDS - start)) s" >&2
      exit 1
    fi
    say "make $target passed in $((SECONDS - start)) s"
  done
  # The DLL this release's toolchain made, for comparing with another's.
  dll=$root/home/$USER_NAME/horavane/build/windows/Horavane.asi
  [ ! -f "$dll" ] || say "$release made Horavane.asi of $(stat -c %s "$dll") bytes, SHA-256 $(sha256sum "$dll" | cut -d' ' -f1)"
  exit 0
fi

# ---- The arguments, before anything is touched ----
clean=0
case ${1:-} in
  --clean) clean=1 ;;
  "" | -*) refuse "$usage" ;;
  *)
    release=$1
    shift
    [[ $release =~ ^[a-z]+$ ]] || refuse "\"$release\" is not a Debian release name (bookworm, trixie, ...)"
    targets=("$@")
    [ ${#targets[@]} -gt 0 ] || targets=(demo test)
    for target in "${targets[@]}"; do
      [[ $target =~ ^[a-z][a-z0-9_-]*$ ]] || refuse "\"$target\" is not a make target (demo, test, coverage, ...)"
    done
    ;;
esac
[ "$(id -u)" -eq 0 ] || refuse "needs root (debootstrap, chroot and mounts): sudo $0 $*"
project=$(cd "$(dirname "$0")/.." && pwd)

# ---- The base folder: root's alone, or refused ----
base=${HORAVANE_TRY_DIR:-/var/tmp/horavane-try}
while [ "${base%/}" != "$base" ] && [ "$base" != / ]; do base=${base%/}; done # a link/ is the link's target
[ -n "$base" ] && [ "$base" != / ] || refuse "HORAVANE_TRY_DIR \"$base\" is no folder for the runs"
[ ! -L "$base" ] || refuse "$base is a symbolic link; give HORAVANE_TRY_DIR a real folder owned by root"
parent=$(realpath -e -- "$(dirname -- "$base")") || refuse "$(dirname -- "$base"), the folder $base is to be in, does not exist"
base=$parent/$(basename -- "$base")
# mounts and folders are compared as these exact strings: only plain names
[[ $base =~ ^[A-Za-z0-9._/+-]+$ ]] || refuse "$base has characters other than letters, digits and ._+-/; give HORAVANE_TRY_DIR a plainer folder"
# owned_by_root_alone <path> <may it be sticky and writable by all, as /var/tmp is>
owned_by_root_alone() {
  local owner mode
  read -r owner mode < <(stat -c '%u %a' -- "$1")
  mode=$((8#$mode))
  [ "$owner" -eq 0 ] || { echo "is owned by user $(stat -c %U -- "$1"), not root"; return 1; }
  (((mode & 8#022) == 0)) && return 0
  [ "$2" = sticky ] && ((mode & 8#1000)) && return 0
  echo "may be written by others (mode $(printf %o $mode))"
  return 1
}
# Each folder on the way: another user who may rename an entry there could swap the base.
path=/
for name in ${parent//\// }; do
  path=${path%/}/$name
  why=$(owned_by_root_alone "$path" sticky) || refuse "$path $why: another user could swap $base (set HORAVANE_TRY_DIR)"
done
mkdir -m 0755 -- "$base" 2>/dev/null || true
[ ! -L "$base" ] && [ -d "$base" ] || refuse "$base is not a folder"
why=$(owned_by_root_alone "$base" plain) || refuse "$base $why: refusing to work in it (set HORAVANE_TRY_DIR)"

command -v debootstrap >/dev/null || "$project/scripts/setup.sh" debootstrap

# mirror_of_apt_sources: the mirror this machine takes its own release from, in its apt
# sources, one-line (sources.list, *.list) or deb822 (*.sources); empty when none is.
mirror_of_apt_sources() { # <apt folder>
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 0
  local file lists=() sources=()
  for file in "$1"/sources.list "$1"/sources.list.d/*.list; do [ ! -f "$file" ] || lists+=("$file"); done
  for file in "$1"/sources.list.d/*.sources; do [ ! -f "$file" ] || sources+=("$file"); done
  {
    [ ${#lists[@]} -eq 0 ] || awk -v want="$codename" '
      { sub(/#.*/, "") }
      $1 != "deb" { next }
      { sub(/^deb[ \t]+(\[[^]]*\][ \t]+)?/, ""); split($0, f, /[ \t]+/) }
      f[2] == want { for (i = 3; i in f; i++) if (f[i] == "main") { print f[1]; exit } }' "${lists[@]}" 2>/dev/null
    # deb822: stanzas of "Field: value" lines, apart by blank lines.
    [ ${#sources[@]} -eq 0 ] || awk -v want="$codename" '
      function stanza_end() {
        if (types ~ /(^| )deb( |$)/ && suites ~ ("(^| )" want "( |$)") && components ~ /(^| )main( |$)/ && enabled !~ /^no$/) {
          split(uris, u, " "); if (u[1] != "") { print u[1]; found = 1; exit }
        }
        types = uris = suites = components = enabled = ""
      }
      FNR == 1 { stanza_end() }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { stanza_end(); next }
      /^[A-Za-z-]+:/ { field = tolower($1); sub(/^[^:]*:[ \t]*/, "") }
      { sub(/[ \t]+$/, "") }
      field == "types:" { types = types " " $0 }
      field == "uris:" { uris = uris " " $0 }
      field == "suites:" { suites = suites " " $0 }
      field == "components:" { components = components " " $0 }
      field == "enabled:" { enabled = tolower($0) }
      END { if (!found) stanza_end() }' "${sources[@]}" 2>/dev/null
  } | head -1 || true
}

# ---- The folders left behind ----
# sweep <which>: removes the runs' folders of the base that no run is using: those of runs
# that were killed ("stale"), or those and the kept ones too ("all"). Runs under the
# base's lock, as each run makes its own folder under it, so a new run's folder is never
# taken for a dead one.
sweep() {
  local dir removed=0 left=0 below
  for dir in "$base"/*; do
    [[ ${dir##*/} =~ ^[a-z]+\.[A-Za-z0-9]{6}$ ]] && [ -d "$dir" ] && [ ! -L "$dir" ] || continue
    flock -n "$dir/$LOCK" true 2>/dev/null || continue # a run lives in it
    if [ -e "$dir/$KEPT" ] && [ "$1" = stale ]; then
      say "$dir/root was kept; scripts/try-debian.sh --clean removes it"
      continue
    fi
    below=$(findmnt -rn -o TARGET | awk -v dir="$dir" 'index($0, dir) == 1 && (length($0) == length(dir) || substr($0, length(dir) + 1, 1) == "/")')
    if [ -n "$below" ]; then
      say "$dir is left as it is: something is mounted there ($(echo $below)); unmount it, then scripts/try-debian.sh --clean" >&2
      left=$((left + 1))
      continue
    fi
    why="left by a run that was killed"
    [ ! -e "$dir/$KEPT" ] || why=kept
    if rm -rf --one-file-system -- "$dir"; then
      say "removed $dir, $why"
      removed=$((removed + 1))
    else
      say "could not remove all of $dir" >&2
      left=$((left + 1))
    fi
  done
  [ "$1" = stale ] || say "$removed folder(s) removed from $base, $left left"
  return $((left > 0))
}

exec {base_lock}> "$base/.lock"
flock "$base_lock"
if [ $clean = 1 ]; then
  sweep all
  exit
fi
sweep stale || true
run=$(mktemp -d "$base/$release.XXXXXX")
exec {run_lock}> "$run/$LOCK"
flock -n "$run_lock"
exec {base_lock}>&-

# ---- The run: everything in namespaces tied to this script ----
inside_pid=""
# stop_inside: kills the namespaces' first process, which takes every other one in them
# with it, and waits until all are gone.
stop_inside() {
  local first
  [ -n "$inside_pid" ] || return 0
  first=$(cat "/proc/$inside_pid/task/$inside_pid/children" 2>/dev/null || true)
  kill -KILL ${first:-$inside_pid} 2>/dev/null || true
  wait "$inside_pid" 2>/dev/null || true
  inside_pid=""
}
cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  stop_inside
  if [ "${HORAVANE_TRY_KEEP:-0}" = 1 ]; then
    touch "$run/$KEPT"
    say "kept $run/root; scripts/try-debian.sh --clean removes it"
  elif ! rm -rf --one-file-system -- "$run"; then
    say "could not remove all of $run; scripts/try-debian.sh --clean tries again" >&2
    status=1
  fi
  [ "$status" -eq 0 ] || say "$release stopped (status $status); nothing of it is left mounted or running" >&2
  exit "$status"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

mirror=${HORAVANE_TRY_MIRROR-$(mirror_of_apt_sources /etc/apt)}
if [ -n "$mirror" ]; then say "packages from $mirror"; else say "packages from the mirror debootstrap picks"; fi
git -c safe.directory="$project" -C "$project" bundle create --quiet "$run/horavane.bundle" HEAD \
  $(git -c safe.directory="$project" -C "$project" symbolic-ref -q HEAD || true)
# The parent-death signal kills unshare when this script dies, even by KILL, and unshare's
# --kill-child then kills the namespaces' first process, and with it all the others.
setpriv --pdeathsig KILL -- unshare --mount --propagation private --pid --fork --kill-child -- \
  bash "$0" --inside "$run" "$release" "$mirror" "${targets[@]}" &
inside_pid=$!
status=0
wait "$inside_pid" || status=$?
inside_pid=""
exit $status
