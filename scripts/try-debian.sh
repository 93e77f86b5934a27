#!/bin/bash
# Tries the project on a fresh Debian release as a newcomer would: makes a new minimal
# Debian of that release with debootstrap, adds git, make and sudo and a normal user who
# may use sudo, clones this checkout's committed HEAD into the user's home inside, and
# there, as that user, runs the given make targets in order (by default `demo`, then
# `test`). Each target's time is printed; the first failure stops the run.
#
#   sudo scripts/try-debian.sh <release> [<target>...]   e.g. trixie, or bookworm demo test coverage
#   sudo scripts/try-debian.sh --check                   whether this machine can run one
#
# Needs root on a Debian machine that can make mount and process namespaces: not a
# chroot, not a container without CAP_SYS_ADMIN. Where it cannot, it says what is
# missing and stops at once, having made and installed nothing. Packages come from the
# Debian mirror this machine's apt takes its own release from; HORAVANE_TRY_MIRROR, one
# http, https or file URI, overrides it; with neither, debootstrap's default.
#
# Runs as root, so it touches nothing but what it made:
# - Each run works in one new folder that mktemp makes for it, /var/tmp/horavane-try.XXXXXX
#   (mode 0700), and names it in its first line. When the run ends, fails or is stopped
#   (Ctrl-C or Ctrl-\, with or without `| tee`; a closed terminal; TERM), it removes that
#   folder and nothing else, whatever became of its output: a line it cannot write is
#   dropped, and a second Ctrl-C or a hang-up does not cut the removal short. The
#   removal checks for mounts and removes in a mount namespace of its own, which no
#   mount made later from outside reaches; if something is mounted at or below the
#   folder, it removes nothing, names the folder and fails. HORAVANE_TRY_KEEP=1 leaves
#   the folder for a look inside.
# - Every step (debootstrap, the clone, the make targets) runs in a mount namespace and a
#   process namespace of the run's own, tied to this script's life: mounts there are
#   never seen outside, and when the script ends, is stopped or killed, everything
#   inside is killed and its mounts go with it.
# - The one exception: where debootstrap is missing, apt installs it first, outside the
#   namespaces, in a session of its own with its output in the run's folder. Ctrl-C or a
#   closed terminal stops the run once apt has finished, and KILL leaves apt to finish,
#   since dpkg stopped halfway can leave this machine's packages broken.
# - Killed (KILL gives no chance to clean up), a run leaves its folder; the first line
#   gives the command that removes it, unless something is mounted there.
# - Root's environment does not redirect it: the checkout is found by its real path,
#   and git's variables (GIT_DIR, GIT_WORK_TREE, ...), CDPATH, BASH_ENV, ENV and
#   DEBOOTSTRAP_DIR are cleared.
set -euo pipefail
umask 022 # what the run writes, the bundle among it, is readable by the user inside

usage="usage: scripts/try-debian.sh <release> [<make target>...] | --check"
USER_NAME=newcomer
WORK_IN=/var/tmp # each run's folder is made here; root's, and sticky

# say <words>: one line of the run's. A line that cannot be written, to a pipe whose reader
# died or a terminal that hung up, is dropped: the run goes on to clean up.
say() { echo "try-debian: $*" 2> /dev/null || true; }
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

# inside <run folder> <release> <mirror or ""> <target...>: the new system, the user, the
# clone and the targets. Runs only as the first process's child in the run's own
# namespaces: it is handed to them as code, never reachable from the command line.
inside() {
  local run=$1 release=$2 mirror=$3 root=$1/root start target dll
  shift 3
  mount -t proc proc /proc # this namespace's own processes, for ps and debootstrap

  start=$SECONDS
  say "a fresh Debian $release in $root"
  if ! debootstrap --variant=minbase --include=git,make,sudo,ca-certificates \
    "$release" "$root" ${mirror:+"$mirror"} > "$run/debootstrap.log" 2>&1; then
    tail -20 "$run/debootstrap.log" >&2
    say "debootstrap $release failed (the end of its log above)" >&2
    return 1
  fi
  chroot "$root" useradd --create-home --shell /bin/bash "$USER_NAME"
  # The new system shares this machine's host name; as Debian's installer does, it names
  # it, or sudo says at every call that it cannot resolve it.
  printf '127.0.1.1\t%s\n' "$(uname -n)" >> "$root/etc/hosts"
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
  # A default branch named, so that no git, old or new, prints its hint about the name.
  as_user "$root" git -c init.defaultBranch=main clone --quiet /tmp/horavane.bundle "/home/$USER_NAME/horavane"
  say "cloned $(as_user "$root" git -C "/home/$USER_NAME/horavane" rev-parse --short HEAD) into /home/$USER_NAME/horavane"

  for target in "$@"; do
    say "make $target, as $USER_NAME"
    start=$SECONDS
    if ! as_user "$root" env -C "/home/$USER_NAME/horavane" make "$target"; then
      say "make $target FAILED after $((SECONDS - start)) s" >&2
      return 1
    fi
    say "make $target passed in $((SECONDS - start)) s"
  done
  # The DLL this release's toolchain made, for comparing with another's.
  dll=$root/home/$USER_NAME/horavane/build/windows/Horavane.asi
  [ ! -f "$dll" ] || say "$release made Horavane.asi of $(stat -c %s "$dll") bytes, SHA-256 $(sha256sum "$dll" | cut -d' ' -f1)"
}

# ---- The arguments, before anything is touched ----
check=0
case ${1:-} in
  --check) check=1 ;;
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
if [ -n "${HORAVANE_TRY_MIRROR+set}" ] && ! [[ $HORAVANE_TRY_MIRROR =~ ^(https?://[[:graph:]]+|file:/[[:graph:]]*)$ ]]; then
  refuse "HORAVANE_TRY_MIRROR=\"$HORAVANE_TRY_MIRROR\" is not one http, https or file URI of a Debian archive"
fi
[ "$(id -u)" -eq 0 ] || refuse "needs root (debootstrap, chroot and mounts): sudo $0 $*"
# What root's shell exports must not send git to another repository, cd elsewhere, or
# have the shells and debootstrap started here read other files first.
unset CDPATH BASH_ENV ENV DEBOOTSTRAP_DIR $(compgen -v GIT_ || true)

# ---- Can this machine make the run's namespaces? Asked first, before anything is made ----
NAMESPACES=(unshare --mount --propagation private --pid --fork --kill-child)
# The signals that stop a run: Ctrl-C, Ctrl-\, a closed terminal, kill, a reader gone.
SIGNALS=INT,QUIT,HUP,TERM,PIPE
# what_is_missing <unshare's error>: one line on why the namespaces cannot be made here.
what_is_missing() {
  local capabilities kind
  [ -r /proc/self/status ] || { echo "/proc is not mounted, so no namespace can be made or watched"; return; }
  capabilities=$(sed -n 's/^CapEff:[[:space:]]*//p' /proc/self/status)
  if (((16#$capabilities >> 21 & 1) == 0)); then # bit 21 is CAP_SYS_ADMIN
    echo "this process lacks CAP_SYS_ADMIN (a container's default), which making mount and process namespaces needs"
    return
  fi
  for kind in mnt pid; do
    if [ "$(cat "/proc/sys/user/max_${kind}_namespaces" 2>/dev/null || echo 1)" = 0 ]; then
      echo "$kind namespaces are turned off here (/proc/sys/user/max_${kind}_namespaces is 0)"
      return
    fi
  done
  if [ "$(stat -c %d:%i /)" != "$(stat -L -c %d:%i /proc/1/root/ 2>/dev/null)" ]; then
    echo "this runs in a chroot: its / is no mount point, so no private mount namespace can be made of it"
    return
  fi
  head -1 <<< "$1"
}
if ! unshare_error=$("${NAMESPACES[@]}" -- true 2>&1); then
  echo "try-debian: cannot run on this machine: $(what_is_missing "$unshare_error"); nothing was made or installed" >&2
  exit 3
fi
if [ $check = 1 ]; then
  say "this machine can make the mount and process namespaces a run needs"
  exit 0
fi
# The checkout by its real path, which git compares with safe.directory.
project=$(dirname -- "$(dirname -- "$(realpath -e -- "$0")")")
work_in=$(realpath -e -- "$WORK_IN") || refuse "$WORK_IN does not exist"
# mktemp makes a folder no one else can take, but only where no one else can rename it.
[ "$(stat -c %u -- "$work_in")" = 0 ] && (($(stat -c 0%a -- "$work_in") & 01000)) ||
  refuse "$work_in is not root's with the sticky bit, so a run's folder there could be swapped"

# ---- The run's folder, and its removal whatever happens ----
run=""          # the folder, once made
inside_pid=""   # unshare, while the namespaces live
interrupted=""  # a signal that came while the folder was being made
removal=""      # the command that removes the folder by hand
# stop_inside: kills the namespaces' first process, which kills every other process there,
# and waits until unshare has seen them all end. (unshare's complaint that it cannot
# re-raise KILL goes to its log, which is not shown for a run stopped here.)
stop_inside() {
  local first=""
  [ -n "$inside_pid" ] || return 0
  read -r first 2> /dev/null < "/proc/$inside_pid/task/$inside_pid/children" || true
  kill -KILL "${first:-$inside_pid}" 2> /dev/null || true
  wait "$inside_pid" 2> /dev/null || true
  inside_pid=""
}
# remove_run: removes the folder, unless something is mounted at or below it, which it
# lists and fails with status 3. The check and rm run together in a mount namespace made
# for them, which starts with this one's mounts and takes none made later, so rm never
# walks into a mount made from outside while it works.
remove_run() {
  unshare --mount --propagation private -- bash -c '
    below=$(awk -v dir="$1" '\''$5 == dir || index($5, dir "/") == 1 { print $5 }'\'' /proc/self/mountinfo)
    [ -z "$below" ] || { echo $below; exit 3; }
    rm -rf --one-file-system -- "$1"' remove-run "$run"
}
cleanup() {
  local status=$? below
  # First, before anything can fail: a second Ctrl-C, a hang-up or a closed pipe must
  # not cut the removal short, and nothing here may stop it.
  trap '' ${SIGNALS//,/ }
  trap - EXIT
  set +e
  stop_inside
  if [ -z "$run" ]; then
    :
  elif [ "${HORAVANE_TRY_KEEP:-0}" = 1 ]; then
    say "kept $run; remove it with: $removal"
  else
    say "removing $run" # a whole Debian: it can take a while
    below=$(remove_run)
    case $? in
      0) ;;
      3) say "left $run as it is: something is mounted there ($below); unmount it, then remove it with: $removal" >&2 ;;
      *) say "could not remove all of $run" >&2 ;;
    esac
    [ -d "$run" ] && [ "$status" -eq 0 ] && status=1
  fi
  [ "$status" -eq 0 ] || say "${release:-the run} stopped (status $status); nothing of it is left running" >&2
  exit "$status"
}
# stop <status>: the run ends on a signal. Further signals are ignored from here on, so that
# a second one (a closed terminal sends HUP twice) cannot end the cleanup as it starts.
stop() {
  trap '' ${SIGNALS//,/ }
  exit "$1"
}
trap cleanup EXIT
# While mktemp makes the folder, a signal is noted and acted on once the folder's name is
# known, so the folder is removed whatever moment the signal comes.
trap 'interrupted=${interrupted:-129}' HUP
trap 'interrupted=${interrupted:-130}' INT
trap 'interrupted=${interrupted:-131}' QUIT
trap 'interrupted=${interrupted:-143}' TERM
trap 'interrupted=${interrupted:-141}' PIPE
run=$(trap '' ${SIGNALS//,/ } && mktemp -d "$work_in/horavane-try.XXXXXX")
printf -v removal 'findmnt -rno TARGET | grep -F -- %q || rm -rf --one-file-system -- %q' "$run" "$run"
say "working in $run; if this run is killed, remove it as root with: $removal"
[ -z "$interrupted" ] || stop "$interrupted"
trap 'stop 129' HUP
trap 'stop 130' INT
trap 'stop 131' QUIT
trap 'stop 143' TERM
trap 'stop 141' PIPE # the output's reader is gone

if ! command -v debootstrap > /dev/null; then
  # Outside the namespaces and in a session of its own, so that neither Ctrl-C nor a
  # closed terminal reaches apt, nor does this script's end: dpkg stopped halfway can leave
  # this machine's packages broken. A signal stops the run once apt has finished.
  say "installing debootstrap with apt, which finishes even if this run is stopped (its output: $run/setup.log)"
  if ! setsid --wait "$project/scripts/setup.sh" debootstrap < /dev/null > "$run/setup.log" 2>&1; then
    tail -20 "$run/setup.log" >&2
    say "could not install debootstrap (the end of its log above)" >&2
    exit 1
  fi
fi

# mirror_of_apt: the first Debian archive that this machine's apt takes its own release's
# main from, as apt itself reads its sources (one-line or deb822, enabled or not): only
# archives apt has fetched, whose Release says Debian, and only http, https or file
# addresses, which debootstrap can use. Empty when there is none.
mirror_of_apt() {
  local codename uri
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 0
  while read -r uri; do
    case $uri in http://* | https://* | file:*)
      echo "$uri"
      return
      ;;
    esac
  done < <(apt-get indextargets --format '$(REPO_URI)' "Target-Of: deb" "Identifier: Packages" \
    "Component: main" "Origin: Debian" "Label: Debian" "Codename: $codename" 2>/dev/null || true)
}
mirror=${HORAVANE_TRY_MIRROR-$(mirror_of_apt)}
if [ -n "$mirror" ]; then say "packages from $mirror"; else say "packages from the mirror debootstrap picks"; fi
git -c safe.directory="$project" -C "$project" bundle create --quiet "$run/horavane.bundle" HEAD \
  $(git -c safe.directory="$project" -C "$project" symbolic-ref -q HEAD || true)

# ---- The run: everything in namespaces tied to this script ----
# The parent-death signal kills unshare when this script dies, even by KILL, and unshare's
# --kill-child then kills the namespaces' first process, and with it all the others.
# unshare ignores the terminal's signals, so that it ends only once everything in the
# namespaces has ended, and this script's cleanup, which waits for it, never removes the
# folder under a process still at work there; the steps take them as usual. The first
# process refuses to be anything but that, and runs the steps in a child of its own with
# the run's stderr (fd 3); its own stderr, and unshare's, go to a log shown only when the
# run ends by itself, so that the notices of a run stopped here (the shell's of a killed
# child, unshare's of a killed first process) never reach the terminal.
env --ignore-signal="$SIGNALS" setpriv --pdeathsig KILL -- "${NAMESPACES[@]}" -- env --default-signal="$SIGNALS" bash -c "$(declare -p USER_NAME; declare -f say as_user inside)"'
  [ $$ = 1 ] || { echo "try-debian: the steps run only in the run'"'"'s own namespaces" >&3; exit 2; }
  (exec 2>&3 3>&-; set -euo pipefail; inside "$@")
  exit' try-debian "$run" "$release" "$mirror" "${targets[@]}" 3>&2 2> "$run/namespaces.log" &
inside_pid=$!
status=0
wait "$inside_pid" || status=$?
inside_pid=""
if [ $status -ne 0 ] && [ -s "$run/namespaces.log" ]; then
  cat "$run/namespaces.log" >&2 || true
fi
exit $status
