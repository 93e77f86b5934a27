#!/bin/bash
# Tries the project on a fresh Debian release as a newcomer would: makes a new minimal
# Debian of that release with debootstrap, adds git, make and sudo and a normal user who
# may use sudo, clones this checkout's committed HEAD into the user's home inside, and
# there, as that user, runs the given make targets in order (by default `demo`, then
# `test`). Each target's time is printed; the first failure stops the run.
#
#   sudo scripts/try-debian.sh <release> [<target>...]   e.g. trixie, or bookworm demo test coverage
#
# Needs root on a Debian machine (debootstrap, chroot, mounts) and Debian's package
# registry. The new system lives in $HORAVANE_TRY_DIR/<release> (default
# /var/tmp/horavane-try) and is removed afterwards unless HORAVANE_TRY_KEEP=1. Its
# proc, sys, dev, dev/pts and dev/shm are mounted in a mount namespace of the run's
# own, and everything it starts runs in a process namespace of the run's own: when the
# run ends, fails or is interrupted, the mounts go with the namespace and every process
# left inside (a Wine server, a tmux server) is killed with it.
set -euo pipefail

usage="usage: scripts/try-debian.sh <release> [<make target>...]"
USER_NAME=newcomer
MIRROR=${HORAVANE_TRY_MIRROR:-http://deb.debian.org/debian}
# as_user <root> <command...>: the command inside the new system, as the user, in a clean
# environment such as a login gives.
as_user() {
  local root=$1
  shift
  chroot --userspec="$USER_NAME:$USER_NAME" "$root" /usr/bin/env -i \
    HOME="/home/$USER_NAME" USER="$USER_NAME" LOGNAME="$USER_NAME" SHELL=/bin/bash \
    PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 TERM=dumb "$@"
}

# ---- Inside the namespaces: mount, run the targets as the user, unmount ----
if [ "${1:-}" = --inside ]; then
  root=$2
  shift 2
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  mount -t tmpfs -o mode=1777 shm "$root/dev/shm"
  status=0
  for target in "$@"; do
    echo "try-debian: make $target, as $USER_NAME"
    start=$SECONDS
    if ! as_user "$root" bash -c "cd ~/horavane && make $target"; then
      echo "try-debian: make $target FAILED after $((SECONDS - start)) s" >&2
      status=1
      break
    fi
    echo "try-debian: make $target passed in $((SECONDS - start)) s"
  done
  # The DLL this release's toolchain made, for comparing with another's.
  dll=$root/home/$USER_NAME/horavane/build/windows/Horavane.asi
  [ ! -f "$dll" ] || echo "try-debian: $(basename "$root") made Horavane.asi of $(stat -c %s "$dll") bytes, SHA-256 $(sha256sum "$dll" | cut -d' ' -f1)"
  exit $status
fi

release=${1:?$usage}
shift
[[ $release =~ ^[a-z]+$ ]] || { echo "try-debian: \"$release\" is not a Debian release name (bookworm, trixie, ...)" >&2; exit 2; }
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(demo test)
[ "$(id -u)" -eq 0 ] || { echo "try-debian: needs root (debootstrap, chroot and mounts): sudo $0 $*" >&2; exit 1; }
project=$(cd "$(dirname "$0")/.." && pwd)
base=${HORAVANE_TRY_DIR:-/var/tmp/horavane-try}
root=$base/$release

# Nothing may stay mounted below the new system, nor anything running in it.
mounted_below() { findmnt -rn -o TARGET | grep "^$root/" | sort -r || true; }
inside_pid=""
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  if [ -n "$inside_pid" ] && kill -0 "$inside_pid" 2>/dev/null; then
    kill -KILL "$inside_pid" 2>/dev/null || true
    wait "$inside_pid" 2>/dev/null || true
  fi
  if [ -d "$root" ]; then
    mounted_below | while read -r target; do
      echo "try-debian: $target was left mounted; unmounting it" >&2
      umount -l "$target" || true
    done
    if [ "${HORAVANE_TRY_KEEP:-0}" = 1 ]; then
      echo "try-debian: kept $root"
    else
      rm -rf --one-file-system "$root"
    fi
  fi
  [ "$status" -eq 0 ] || echo "try-debian: $release stopped (status $status); nothing of it is left mounted or running" >&2
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

for tool in debootstrap unshare; do
  if ! command -v "$tool" >/dev/null; then
    echo "try-debian: installing $tool"
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$tool" >/dev/null
  fi
done

if [ -n "$(mounted_below)" ]; then
  echo "try-debian: something is still mounted below $root; unmount it first:" $(mounted_below) >&2
  exit 1
fi
rm -rf --one-file-system "$root"
mkdir -p "$base"

start=$SECONDS
echo "try-debian: a fresh Debian $release in $root"
debootstrap --variant=minbase --include=git,make,sudo,ca-certificates "$release" "$root" "$MIRROR" \
  > "$base/$release-debootstrap.log" 2>&1 ||
  { tail -20 "$base/$release-debootstrap.log" >&2; echo "try-debian: debootstrap $release failed (log above)" >&2; exit 1; }
chroot "$root" useradd --create-home --shell /bin/bash "$USER_NAME"
# The user may use sudo. No one is there to type a password, so sudo asks for none;
# on a contributor's machine it asks once, when setup installs something.
echo "$USER_NAME ALL=(ALL) NOPASSWD: ALL" > "$root/etc/sudoers.d/$USER_NAME"
chmod 0440 "$root/etc/sudoers.d/$USER_NAME"
echo "try-debian: $(sed -n 's/^PRETTY_NAME=//p' "$root/etc/os-release" | tr -d '"') ready in $((SECONDS - start)) s"

# The committed HEAD (and its branch, for the clone to check out), as a bundle the user
# clones from inside.
git -C "$project" bundle create "$root/tmp/horavane.bundle" HEAD $(git -C "$project" symbolic-ref -q HEAD || true) 2>/dev/null
as_user "$root" git clone --quiet /tmp/horavane.bundle "/home/$USER_NAME/horavane"
echo "try-debian: cloned $(git -C "$project" rev-parse --short HEAD) into /home/$USER_NAME/horavane"

unshare --mount --propagation private --pid --fork --kill-child bash "$0" --inside "$root" "${targets[@]}" &
inside_pid=$!
wait "$inside_pid"
