#!/bin/bash
# Checks that try-debian.sh, which runs as root, touches nothing but the one folder each
# run makes, however it is stopped: it runs the script of this checkout in a throwaway
# project whose Makefile has quick, slow and failing targets, with stand-ins for
# debootstrap (a small system from this machine's own /usr, read-only, made in a moment
# without a network), for mktemp (the real one, which also records each folder made,
# so that this test knows the runs' folders without looking for them) and for rm (the
# real one, which can first wait). Checked:
# - without CAP_SYS_ADMIN, and in a chroot, it refuses at once, naming what is missing,
#   and makes nothing; the old internal step typed by hand changes no mount; shell text
#   is no target, and HORAVANE_TRY_MIRROR nothing but one http, https or file URI;
# - stopped the way a person stops it, on a terminal (tmux): Ctrl-C typed, Ctrl-C with
#   the output through `| tee`, the terminal closed, and Ctrl-\ typed, while mktemp
#   makes its folder, during debootstrap, the clone and a make target; TERM and KILL
#   sent to it during the last three: nothing is left mounted or running, nothing is
#   printed but the run's own lines, and no folder is left but the one KILL leaves,
#   which the command named in the run's first line removes;
# - during the removal: Ctrl-C, after a run that passed or a second one after the Ctrl-C
#   that stopped it, does not cut it short, and a folder bound into the tree from
#   outside loses nothing;
# - Ctrl-C while apt installs debootstrap (a stand-in setup.sh, where no debootstrap can
#   be found) lets apt finish, its output kept off the terminal, then stops the run;
# - two runs at once, the second under umask 077, both pass; a folder named like a run's
#   and another base's folders survive every run;
# - a same-filesystem bind mount and a tmpfs mounted into a run's tree from outside:
#   the run removes nothing, names them and fails; what was bound survives;
# - root's environment does not redirect it: started through a symlink to a checkout of
#   another user's, with GIT_DIR, GIT_WORK_TREE and CDPATH exported, it tries that
#   checkout;
# - a failing debootstrap shows its log; HORAVANE_TRY_KEEP=1 keeps the folder;
# - the mirror, read through apt from hand-made sources: only Debian's own archive for
#   this machine's release, only http, https or file addresses.
# The runs' processes are found by a variable in their environment and, in the new
# system, by their root, never by command line; this test's cleanup kills only those and
# its own: its watchdog, by process id, and its tmux servers, by a variable of their
# own. A run's folder must not be removed while a process of its namespaces is alive.
# The test runs in a mount namespace of its own whose / is a shared mount, as on a
# systemd machine, whichever way this machine's is (a container's is private): a mount
# made from outside a run then reaches every namespace of the run that does not refuse
# it, as its removal's must; and nothing the test mounts is seen outside it. Every wait
# is bounded by the clock, and the whole test by LIMIT seconds; when a limit is reached
# it says what it was waiting for. Needs root and a machine that can make namespaces; exits 77 (skipped)
# otherwise, with the script's own reason.
#
#   test-try-debian.sh
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "test-try-debian: needs root; skipped"; exit 77; }
here=$(dirname -- "$(realpath -e -- "$0")")
LIMIT=240     # seconds for the whole test
STEP_LIMIT=60 # seconds for any one run or wait

status=0
out=$("$here/try-debian.sh" --check 2>&1) || status=$?
case $status in
  0) ;;
  3) echo "test-try-debian: skipped: $out"; exit 77 ;;
  *) echo "test-try-debian: FAILED: try-debian.sh --check: status $status: $out" >&2; exit 1 ;;
esac

# The test again, in the same process, in a mount namespace of its own: its mounts are
# first made private, cut off from this machine's, then shared among themselves, so that
# / propagates into the namespaces made from it as a systemd machine's does, and what
# the test mounts goes with its namespace. TRY_SHARED_ROOT names that namespace, so that
# the test started again knows it is there.
if [ "${TRY_SHARED_ROOT:-}" != "$(readlink /proc/self/ns/mnt)" ]; then
  exec unshare --mount --propagation private -- bash -c '
    error=$(mount --make-rshared / 2>&1) ||
      { echo "test-try-debian: skipped: / cannot be made a shared mount in a mount namespace of its own: $error"; exit 77; }
    TRY_SHARED_ROOT=$(readlink /proc/self/ns/mnt) exec "$0"' "$(realpath -e -- "$0")"
fi
unset TRY_SHARED_ROOT
[ "$(findmnt -n -o PROPAGATION /)" = shared ] || { echo "test-try-debian: FAILED: / is not a shared mount in the test's namespace" >&2; exit 1; }

# In /var/tmp, as the runs' folders, so that a bind mount from here is on their filesystem.
tmp=$(mktemp -d /var/tmp/test-try-debian.XXXXXX)
real_mktemp=$(command -v mktemp)
real_rm=$(command -v rm)
mounted=()  # what this test mounts itself, unmounted on the way out
watchdog="" # the process that ends the test at its limit
terminals=0 # how many it started: each has a socket of its own
made() { cat "$tmp/made" 2>/dev/null || true; } # every folder the runs made, in order
# mounts_below <folder>: the mount points below the folder, deepest first.
mounts_below() { findmnt -rn -o TARGET | awk -v dir="$1/" 'index($0, dir) == 1' | sort -r; }
# marked [<variable>]: the processes started with TRY_RUN (or the variable) set to this
# test's folder in their environment: the runs, or with TRY_TERMINAL its tmux servers.
marked() { grep -lzxF "${1:-TRY_RUN}=$tmp" /proc/[0-9]*/environ 2> /dev/null | cut -d/ -f3 || true; }
# rooted <folder>: the processes whose root is in the folder, as a new system's are.
rooted() { find /proc/[0-9]*/root -maxdepth 0 -lname "$1/*" 2> /dev/null | cut -d/ -f3 || true; }
# run_pids: the processes of the runs, marked or in their new systems.
run_pids() {
  local dir
  marked
  for dir in $(made); do rooted "$dir"; done
}
# at_work <folder>: the processes of the run of that folder in its namespaces: in its new
# system, or marked and in the process namespace the stand-in debootstrap noted for it.
at_work() {
  local pid namespace
  namespace=$(cat "$tmp/pid-namespace.${1##*/}" 2> /dev/null) || true
  for pid in $(marked); do
    [ "$(readlink "/proc/$pid/ns/pid" 2> /dev/null)" != "${namespace:-none}" ] || echo "$pid"
  done
  rooted "$1"
}
cleanup() {
  local status=$? dir target
  # Nothing may cut the cleanup short: a second Ctrl-C, a closed terminal or a reader gone.
  trap '' INT TERM HUP PIPE
  set +e
  [ -z "$watchdog" ] || { kill -KILL "$watchdog" $(cat "/proc/$watchdog/task/$watchdog/children"); wait "$watchdog"; } 2> /dev/null
  # Whatever of the runs is still alive, then what is mounted in the folders, then them.
  kill -KILL $(marked TRY_TERMINAL) $(run_pids) 2> /dev/null
  for dir in $(made) "$sibling" "$tmp"; do
    [ -d "$dir" ] || continue
    for target in "${mounted[@]}" $(mounts_below "$dir"); do
      umount "$target" 2>/dev/null
    done
    if [ -n "$(mounts_below "$dir")" ]; then
      echo "test-try-debian: left $dir, where something is still mounted: $(mounts_below "$dir")" >&2
    else
      "$real_rm" -rf --one-file-system -- "$dir"
    fi
  done
  exit $status
}
sibling=""
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# terminal <tmux command...>: to the tmux server of the test's last terminal; screen: what
# that terminal shows, its history included.
# A server takes its environment from the command that starts it, so that its own marks
# it, even when the test is stopped before it learns the server's process id.
terminal() { TRY_TERMINAL=$tmp tmux -S "$tmp/tmux.$terminals" -f /dev/null "$@"; }
screen() { terminal capture-pane -p -S - -t run 2> /dev/null || true; }
fail() {
  echo "test-try-debian: FAILED: $*" >&2
  [ "$terminals" = 0 ] || { echo "---- the last terminal ----"; screen; } >&2
  exit 1
}
step() { echo "$*" > "$tmp/step"; }
# The whole test's limit: the watchdog names the step the test was on and stops it.
{
  sleep "$LIMIT"
  echo "test-try-debian: FAILED: the limit of $LIMIT s was reached while $(cat "$tmp/step")" >&2
  kill -TERM $$
} &
watchdog=$!

# wait_for <what> <command...>: polls the command until it succeeds, for STEP_LIMIT s.
wait_for() {
  local what=$1 until=$((SECONDS + STEP_LIMIT))
  shift
  step "waiting until $what"
  until "$@"; do
    [ $SECONDS -lt $until ] || fail "$what: not seen within $STEP_LIMIT s"
    sleep 0.1
  done
}
# ended <pid>: gone, or a zombie waiting for its parent.
ended() {
  local state
  read -r _ _ state _ 2> /dev/null < "/proc/$1/stat" || return 0
  [ "$state" = Z ]
}
# finish <pid> <what>: sets status to that of the run in the background, which must end
# within STEP_LIMIT s.
finish() {
  wait_for "$2 ends" ended "$1"
  status=0
  { wait "$1"; } 2> /dev/null || status=$? # without the shell's notice of a kill
}
# attempt <what> <arguments...>: a run in the foreground, bounded; sets out and status.
attempt() {
  local what=$1
  shift
  step "waiting for $what"
  status=0
  out=$(TRY_RUN=$tmp timeout -k 10 "$STEP_LIMIT" "$try" "$@" 2>&1) || status=$?
  [ $status -ne 124 ] || fail "$what: the run did not end within $STEP_LIMIT s: $out"
}

# ---- The throwaway project, with this checkout's try-debian.sh ----
project=$tmp/project
mkdir -p "$project/scripts"
cp "$here/try-debian.sh" "$project/scripts/"
# Setup is needed only where debootstrap cannot be found. With TRY_SLOW=setup it stands for
# apt installing it: it marks that it started, waits for $tmp/go, then puts the stand-in
# debootstrap in place; otherwise it fails.
cat > "$project/scripts/setup.sh" << EOF
#!/bin/sh
echo "\$*" >> "$tmp/setup-calls"
[ "\${TRY_SLOW:-}" = setup ] || exit 1
echo "the stand-in apt's output"
touch "$tmp/setup-started"
while [ ! -e "$tmp/go" ]; do sleep 0.1; done
mv "$tmp/debootstrap" "$tmp/bin/debootstrap"
echo installed >> "$tmp/setup-calls"
EOF
chmod 755 "$project/scripts/setup.sh"
# Each slow thing waits for a file named go where it marked that it started.
cat > "$project/Makefile" << 'EOF'
quick:
	@echo quick passed
slow:
	@touch /tmp/make-started; while [ ! -e /tmp/go ]; do sleep 0.1; done
broken:
	@false
EOF
git -C "$project" init --quiet --initial-branch=main
git -C "$project" add -A
git -C "$project" -c user.name=test -c user.email=test@localhost commit --quiet -m project
try=$project/scripts/try-debian.sh

# ---- The stand-ins, first on the PATH ----
# debootstrap records each call in $tmp/calls, its process namespace for the run's folder
# and the signals it ignores in $tmp/ignored, waits when TRY_SLOW=debootstrap, fails with a log line when
# TRY_FAIL=debootstrap, and with TRY_SLOW=clone puts a git that waits first on the new
# system's PATH.
mkdir "$tmp/bin"
cat > "$tmp/bin/debootstrap" << 'EOF'
#!/bin/bash
set -euo pipefail
while [[ ${1:-} == --* ]]; do shift; done
root=${2:-}
echo "$*" >> "$TRY_TMP/calls"
readlink /proc/self/ns/pid > "$TRY_TMP/pid-namespace.$(basename "${root%/root}")"
sed -n 's/^SigIgn:\t//p' /proc/self/status > "$TRY_TMP/ignored"
# It makes things only in a folder the stand-in mktemp made, whatever it is asked.
grep -qxF "${root%/root}" "$TRY_TMP/made" || { echo "E: $root is in no folder a run made"; exit 1; }
# Its mounts must go with the run: never in the mount namespace the test started in.
[ "$(readlink /proc/self/ns/mnt)" != "$TRY_TEST_MOUNTS" ] || { echo "E: not in a mount namespace of the run's own"; exit 1; }
echo "stand-in: making $root"
if [ "${TRY_FAIL:-}" = debootstrap ]; then echo "E: the stand-in fails as asked"; exit 1; fi
mkdir -p "$root"/{etc/skel,etc/sudoers.d,home,proc,sys,dev,tmp,root,usr,var/log}
chmod 1777 "$root/tmp"
for link in bin sbin lib lib64; do [ ! -L "/$link" ] || ln -s "usr/$link" "$root/$link"; done
cp /etc/passwd /etc/group /etc/shadow /etc/gshadow /etc/login.defs /etc/nsswitch.conf "$root/etc/"
cp -L /etc/os-release "$root/etc/"
mount --bind /usr "$root/usr"
mount -o remount,bind,ro "$root/usr"
mount -t tmpfs tmpfs "$root/usr/local"
mkdir -p "$root/usr/local/bin"
if [ "${TRY_SLOW:-}" = clone ]; then
  printf '#!/bin/sh\ntouch /tmp/clone-started\nwhile [ ! -e /tmp/go ]; do sleep 0.1; done\nexec /usr/bin/git "$@"\n' > "$root/usr/local/bin/git"
  chmod 755 "$root/usr/local/bin/git"
fi
if [ "${TRY_SLOW:-}" = debootstrap ]; then
  touch "$root/tmp/debootstrap-started"
  while [ ! -e "$root/tmp/go" ]; do sleep 0.1; done
fi
EOF
# mktemp: the real one, recording what it made; with TRY_SLOW=mktemp it then marks that
# it started and waits for $tmp/go before it names the folder.
# rm: the real one; removing a run's folder, it first notes in $tmp/removed-under-work
# whether a process of the run's namespaces is still alive (this test's at_work),
# and with TRY_SLOW=removal marks that it started and waits for $tmp/go.
cat > "$tmp/bin/mktemp" << EOF
#!/bin/bash
set -euo pipefail
made=\$($real_mktemp "\$@")
echo "\$made" >> "\$TRY_TMP/made"
if [ "\${TRY_SLOW:-}" = mktemp ]; then
  touch "\$TRY_TMP/mktemp-started"
  while [ ! -e "\$TRY_TMP/go" ]; do sleep 0.1; done
fi
echo "\$made"
EOF
cat > "$tmp/bin/rm" << EOF
#!/bin/bash
if grep -qxF -- "\${@: -1}" "\$TRY_TMP/made"; then
  # A run's folder is removed only once nothing of the run is at work there.
  $(declare -f marked rooted at_work)
  tmp=\$TRY_TMP
  [ -z "\$(at_work "\${@: -1}")" ] || echo "\${@: -1}" >> "\$TRY_TMP/removed-under-work"
  if [ "\${TRY_SLOW:-}" = removal ]; then
    touch "\$TRY_TMP/removal-started"
    while [ ! -e "\$TRY_TMP/go" ]; do sleep 0.1; done
  fi
fi
exec $real_rm "\$@"
EOF
chmod 755 "$tmp/bin/debootstrap" "$tmp/bin/mktemp" "$tmp/bin/rm"
export PATH=$tmp/bin:$PATH TRY_TMP=$tmp TRY_TEST_MOUNTS=$(readlink /proc/self/ns/mnt)
export HORAVANE_TRY_MIRROR=file:///stand-in/mirror
unset HORAVANE_TRY_KEEP TRY_SLOW TRY_FAIL TRY_RUN APT_CONFIG CDPATH GIT_DIR GIT_WORK_TREE
touch "$tmp/made" "$tmp/calls"

# ---- What no run may touch ----
# A base that an earlier layout of the runs swept, full of folders named like runs', and
# a folder beside the runs' own named like one, with a lock in it.
export HORAVANE_TRY_DIR=$tmp/base
mkdir -p "$HORAVANE_TRY_DIR/stand.abcdef" "$HORAVANE_TRY_DIR/backup.202401"
echo keep > "$HORAVANE_TRY_DIR/stand.abcdef/marker"
echo keep > "$HORAVANE_TRY_DIR/backup.202401/data.txt"
sibling=$($real_mktemp -d /var/tmp/horavane-try.XXXXXX)
echo keep > "$sibling/marker"
touch "$sibling/lock"
fingerprint() { (cd "$HORAVANE_TRY_DIR" && find . "$sibling" -printf '%p %U %m %s\n' | sort); }
untouched=$(fingerprint)

runs_left() { for dir in $(made); do [ ! -e "$dir" ] || echo "$dir"; done; }
last_made() { tail -1 "$tmp/made"; }
# What of the runs is mounted, or running, anywhere: none may outlive its run.
mounted_here() {
  local dir
  for dir in $(made) "$tmp"; do mounts_below "$dir"; done
}
running_here() {
  local pid
  for pid in $(run_pids | sort -u); do
    [ -e "/proc/$pid" ] && echo "$pid $(tr '\0' ' ' 2> /dev/null < "/proc/$pid/cmdline")"
  done
  return 0
}
nothing_running() { [ -z "$(running_here)" ]; }
# started <marker>: the marker some run made in its new system's /tmp, or in $tmp.
started() {
  local dir
  [ ! -e "$tmp/$1" ] || return 0
  for dir in $(made); do [ ! -e "$dir/root/tmp/$1" ] || return 0; done
  return 1
}
# go: lets every waiting run on.
go() {
  local dir
  touch "$tmp/go"
  for dir in $(made); do touch "$dir/root/tmp/go" 2> /dev/null || true; done
}
# afresh: no marker of an earlier run's is left to be mistaken for this one's.
afresh() { "$real_rm" -f "$tmp/go" "$tmp/mktemp-started" "$tmp/removal-started" "$tmp/status"; }
# removal_of <output>: the command the run's first line gives for removing its folder.
removal_of() { sed -n '1s/.*, remove it as root with: //p' <<< "$1"; }
# left_nothing <what>: after a run, nothing of it is running or mounted, and no folder
# of it is left; the run's folder is $dir.
left_nothing() {
  [ ! -s "$tmp/removed-under-work" ] || fail "after $1, the removal of $(cat "$tmp/removed-under-work") began while its run's processes were alive"
  [ -z "$(mounted_here)" ] || fail "mounted after $1: $(mounted_here)"
  nothing_running || fail "still running after $1: $(running_here)"
  [ -z "$(runs_left)" ] || fail "left on disk after $1: $(runs_left)"
}

# ---- Refused at once, making nothing ----
attempt "a target that is shell text" stand 'quick;touch /x'
[ $status = 2 ] && grep -qF "is not a make target" <<< "$out" || fail "a target of shell text is not refused: $status: $out"
for mirror in "" "http://one.example/debian http://two.example/debian" "ftp://ftp.example/debian" \
  "--keyring=/tmp/k" $'http://deb.example/debian\nhttp://other.example'; do
  HORAVANE_TRY_MIRROR=$mirror attempt "a mirror that is no URI" stand quick
  [ $status = 2 ] && grep -qF "is not one http, https or file URI" <<< "$out" ||
    fail "HORAVANE_TRY_MIRROR=\"$mirror\" is not refused: status $status: $out"
done
# The old internal step typed by hand, in a mount namespace of the test's own, where any
# mount it made would stay to be seen.
step "the internal step typed by hand"
hand=$(timeout -k 10 "$STEP_LIMIT" unshare --mount --propagation private -- bash -c '
  before=$(cut -d" " -f5- /proc/self/mountinfo)
  "$1" --inside "$2/hand" stand "" quick > /dev/null 2>&1 && echo "passed"
  [ "$(cut -d" " -f5- /proc/self/mountinfo)" = "$before" ] || echo "changed the mounts"
' hand "$try" "$tmp" 2>&1) || true
[ -z "$hand" ] || fail "the internal step typed by hand $hand"
step "the refusal without CAP_SYS_ADMIN"
status=0
out=$(timeout -k 10 "$STEP_LIMIT" setpriv --bounding-set=-sys_admin -- "$try" stand quick 2>&1) || status=$?
[ $status = 3 ] && [ "$(wc -l <<< "$out")" = 1 ] && grep -qF "lacks CAP_SYS_ADMIN" <<< "$out" ||
  fail "without CAP_SYS_ADMIN the run is not refused at once with one line naming it: status $status: $out"
capless=$out
# In a chroot of /usr, this machine's own programs, whose / is no mount point; made in
# a mount namespace of its own, so that its mounts go with it.
step "the refusal in a chroot"
jail=$tmp/jail
mkdir -p "$jail"/{usr,proc,dev,tmp,var/tmp}
touch "$jail/dev/null"
for link in bin sbin lib lib64; do [ ! -L "/$link" ] || ln -s "usr/$link" "$jail/$link"; done
cp "$try" "$jail/try-debian.sh"
status=0
out=$(timeout -k 10 "$STEP_LIMIT" unshare --mount --propagation private -- bash -c '
  mount --bind /usr "$1/usr" && mount -t proc proc "$1/proc" && mount --bind /dev/null "$1/dev/null" &&
  exec chroot "$1" /try-debian.sh stand quick' jail "$jail" 2>&1) || status=$?
[ $status = 3 ] && [ "$(wc -l <<< "$out")" = 1 ] && grep -qF "this runs in a chroot" <<< "$out" ||
  fail "in a chroot the run is not refused at once with one line naming it: status $status: $out"
[ -z "$(made)" ] && [ ! -s "$tmp/calls" ] && [ ! -e "$tmp/setup-calls" ] && [ -z "$(ls -A "$jail/var/tmp")" ] ||
  fail "a refusal made or ran something: $(made) $(cat "$tmp/calls")"
echo "test-try-debian: ok: refused at once without CAP_SYS_ADMIN ($capless) and in a chroot ($out); shell text is no target, and a mirror only one URI; the internal step typed by hand changes no mount"

# ---- Stopped on a terminal, as a person stops it ----
# A terminal: an interactive shell in a tmux session on a server of its own, with this
# test's environment.
# type_in <line>: the line typed at the shell's prompt, then Enter.
type_in() {
  terminal send-keys -t run -l "$1"
  terminal send-keys -t run Enter
}
# echoed <n> <echo>: the terminal has echoed ^C (or ^\) n times, so the n-th key's signal
# has been sent to the foreground group (the terminal sends it before it echoes).
echoed() { [ "$(screen | grep -oF "$2" | wc -l)" -ge "$1" ]; }
hide="" # a command the run is started through
# on_terminal <how> <step> <marker> <target>: a run typed on a new terminal, its output
# through `| tee` when <how> is tee, that waits in the step; then, as <how> says, Ctrl-C
# typed (typed, tee), Ctrl-\ typed (quit) or the terminal closed (closed). The run's
# folder is then $dir.
on_terminal() {
  local how=$1 where=$2 shell command
  afresh
  terminals=$((terminals + 1))
  # A shell of no one's: no start-up files read, no history saved.
  terminal new-session -d -s run -x 200 -y 50 -- env HISTFILE= bash --norc --noprofile -i
  shell=$(terminal display-message -p -t run '#{pane_pid}')
  # The run's status is written by a subshell that outlives the signal, since the shell
  # at the prompt drops the rest of a line whose pipeline Ctrl-C ended.
  command="(trap : INT QUIT HUP; TRY_RUN=$tmp TRY_SLOW=$where $hide $try stand $4; echo \$? > $tmp/status)"
  if [ "$how" = tee ]; then
    type_in "$command 2>&1 | tee $tmp/tee.log"
  else
    type_in "$command"
  fi
  wait_for "a run on a terminal waits in ${where:-make}" started "$3"
  dir=$(last_made)
  case $how in
    closed)
      terminal kill-session -t run
      # The shell ends with its terminal, and on its way the HUP goes to the run.
      wait_for "the shell of the closed terminal ends" ended "$shell"
      ;;
    quit)
      terminal send-keys -t run 'C-\'
      wait_for "the terminal takes Ctrl-\\" echoed 1 '^\'
      ;;
    *)
      terminal send-keys -t run C-c
      wait_for "the terminal takes Ctrl-C" echoed 1 '^C'
      ;;
  esac
}
# ended_with <status> <what>: the run on the terminal has ended with that status.
ended_with() {
  wait_for "the run's status is written after $2" test -s "$tmp/status"
  [ "$(cat "$tmp/status")" = "$1" ] || fail "$2: status $(cat "$tmp/status"), not $1"
}
# stopped_on_terminal <how> <step> <marker> <target>
stopped_on_terminal() {
  local how=$1 where=${2:-make} expected
  on_terminal "$@"
  go # mktemp, the one step that waits outside the namespaces, goes on
  case $how in closed) expected=129 ;; quit) expected=131 ;; *) expected=130 ;; esac
  ended_with $expected "$how during $where"
  # The run waited for everything it started before it ended.
  left_nothing "$how during $where"
  case $where in
    mktemp | setup) ;; # before debootstrap
    *) grep -qxF "stand $dir/root $HORAVANE_TRY_MIRROR" "$tmp/calls" ||
      fail "the run stopped during $where never reached debootstrap: the case tried nothing" ;;
  esac
  terminal kill-server 2> /dev/null || true
}
for how in typed tee closed quit; do
  stopped_on_terminal $how mktemp mktemp-started quick
  stopped_on_terminal $how debootstrap debootstrap-started quick
  stopped_on_terminal $how clone clone-started quick
  stopped_on_terminal $how "" make-started slow
done
echo "test-try-debian: ok: Ctrl-C typed, Ctrl-C through | tee, a closed terminal and Ctrl-\\, while mktemp makes the folder, during debootstrap, the clone and make, leave nothing mounted, running or on disk"

# Ctrl-C during the removal of a run that passed, and a second Ctrl-C during the removal
# of a run the first one stopped: each removal goes on to the end.
on_terminal typed removal removal-started quick
go
ended_with 0 "Ctrl-C during the removal of a run that passed"
left_nothing "Ctrl-C during the removal of a run that passed"
terminal kill-server 2> /dev/null || true
on_terminal typed removal make-started slow
wait_for "a stopped run starts its removal" started removal-started
terminal send-keys -t run C-c
wait_for "the terminal takes the second Ctrl-C" echoed 2 '^C'
go
ended_with 130 "a second Ctrl-C during the removal"
left_nothing "a second Ctrl-C during the removal"
terminal kill-server 2> /dev/null || true
echo "test-try-debian: ok: Ctrl-C during the removal, the first or a second, does not cut it short"

# Ctrl-C while apt installs debootstrap: apt, in a session of its own, finishes, its
# output in the run's folder; then the run stops. The run sees no debootstrap until then:
# the stand-in is away, and this machine's, if any, hidden by a copy of /usr/sbin without
# it, mounted in a mount namespace of the run's.
mv "$tmp/bin/debootstrap" "$tmp/debootstrap"
cp -a /usr/sbin "$tmp/sbin"
"$real_rm" -f "$tmp/sbin/debootstrap"
# It mounts over /usr/sbin only in a mount namespace other than the test's.
printf '#!/bin/sh\n[ "$(readlink /proc/self/ns/mnt)" != "$TRY_TEST_MOUNTS" ] && mount --bind "%s/sbin" /usr/sbin && exec "$@"\nexit 1\n' "$tmp" > "$tmp/hide"
chmod 755 "$tmp/hide"
hide="unshare --mount --propagation private $tmp/hide"
stopped_on_terminal typed setup setup-started quick
hide=""
[ "$(cat "$tmp/setup-calls")" = "debootstrap"$'\n'"installed" ] ||
  fail "Ctrl-C while apt installs debootstrap stopped it halfway: $(cat "$tmp/setup-calls")"
! screen | grep -qF "the stand-in apt's output" || fail "apt's output is on the terminal, not in the run's folder"
terminal kill-server 2> /dev/null || true
echo "test-try-debian: ok: Ctrl-C while apt installs debootstrap lets apt finish, then stops the run"

# ---- Two runs at once; mounts from outside in a run's tree ----
# A run started in the background takes INT as from a terminal, not ignoring it as a
# background command of a script otherwise does.
background() { exec env --default-signal=INT TRY_RUN="$tmp" "$@"; }
background "$try" stand slow > "$tmp/first.log" 2>&1 &
first=$!
wait_for "the first run waits in its make target" started make-started
first_dir=$(last_made)
step "waiting for the second run beside the first"
mkdir -p "$tmp/cwd"
out=$(cd "$tmp/cwd" && umask 077 && TRY_RUN=$tmp timeout -k 10 "$STEP_LIMIT" "$try" stand quick 2>&1) ||
  fail "a second run of the same release beside the first, under umask 077, fails: $out"
grep -qF "quick passed" <<< "$out" || fail "the second run did not run its target: $out"
second_dir=$(last_made)
[ "$second_dir" != "$first_dir" ] && [[ $(head -1 <<< "$out") == "try-debian: working in $second_dir;"* ]] ||
  fail "the second run's first line does not name its own folder $second_dir: $out"
[[ $(tail -1 "$tmp/calls") == "stand $second_dir/root $HORAVANE_TRY_MIRROR" ]] ||
  fail "debootstrap was not asked for the release in the run's own folder from HORAVANE_TRY_MIRROR: $(tail -1 "$tmp/calls")"
[ "$(stat -c %a "$second_dir" 2>/dev/null || echo gone)" = gone ] || fail "the second run left its folder"
# The steps take the signals that stop a run as a command typed at a prompt does: none
# of HUP, INT, QUIT, PIPE and TERM (bits 0, 1, 2, 12 and 14 of the mask) ignored, so that
# what they run can be stopped, by timeout among others.
(( (0x$(cat "$tmp/ignored") & 0x5007) == 0 )) || fail "the steps ignore signals (mask $(cat "$tmp/ignored"))"
started make-started || fail "the second run removed the first one's folder"
# From outside, while the first run waits: a folder of this filesystem bound into its
# tree, and a tmpfs.
mkdir "$tmp/outside" "$first_dir/bound" "$first_dir/root/tmpfs"
echo keep > "$tmp/outside/marker"
mount --bind "$tmp/outside" "$first_dir/bound"
mounted+=("$first_dir/bound")
mount -t tmpfs tmpfs "$first_dir/root/tmpfs"
mounted+=("$first_dir/root/tmpfs")
go
finish "$first" "the first run"
[ "$status" = 1 ] || fail "the first run, with mounts in its folder, ends with status $status, not 1: $(cat "$tmp/first.log")"
grep -qF "left $first_dir as it is: something is mounted there ($first_dir/bound $first_dir/root/tmpfs)" "$tmp/first.log" ||
  fail "the first run does not name its folder and what is mounted there: $(cat "$tmp/first.log")"
[ "$(cat "$tmp/outside/marker" 2>/dev/null)" = keep ] || fail "the run's removal went into a bind mount: $tmp/outside lost its files"
# The removal the first line gives refuses while something is mounted, then removes.
removal=$(removal_of "$(cat "$tmp/first.log")")
bash -c "$removal" > /dev/null && [ -d "$first_dir/bound" ] || fail "\"$removal\" removes a folder with something mounted in it"
umount "$first_dir/bound" "$first_dir/root/tmpfs"
bash -c "$removal" && [ ! -e "$first_dir" ] || fail "\"$removal\" does not remove the folder"
[ "$(fingerprint)" = "$untouched" ] || fail "a run touched folders it did not make:"$'\n'"$(fingerprint)"

# A folder of this filesystem bound into the tree from outside while the removal works,
# which takes no mount made after it started: what was bound loses nothing.
afresh
TRY_SLOW=removal background "$try" stand quick > "$tmp/run.log" 2>&1 &
pid=$!
wait_for "a run starts its removal" started removal-started
dir=$(last_made)
mkdir "$dir/bound"
mount --bind "$tmp/outside" "$dir/bound"
mounted+=("$dir/bound")
go
finish "$pid" "the run with a mount made during its removal"
[ "$(cat "$tmp/outside/marker" 2>/dev/null)" = keep ] || fail "the removal went into a folder bound into the tree while it worked"
[ "$status" = 0 ] || fail "a run with a mount made during its removal ends with status $status: $(cat "$tmp/run.log")"
left_nothing "a mount made during the removal"
echo "test-try-debian: ok: two runs at once both passed; a folder with mounts from outside is left whole and named, and one bound during the removal loses nothing; no other folder touched"

# ---- Signalled at each step ----
# interrupt <signal> <step> <marker> <target>: a run that waits in the step, then the
# signal to the script.
interrupt() {
  local signal=$1 where=$2 status expected dir removal
  TRY_SLOW=$where background "$try" stand "$4" > "$tmp/run.log" 2>&1 &
  local pid=$!
  wait_for "a run waits in ${where:-make}" started "$3"
  dir=$(last_made)
  kill -"$signal" "$pid"
  finish "$pid" "the run after $signal"
  expected=$((128 + $(kill -l "$signal")))
  [ "$status" = "$expected" ] || fail "$signal during ${where:-make}: status $status, not $expected: $(cat "$tmp/run.log")"
  # A run that could clean up waited for everything it started; a killed one could not.
  if [ "$signal" = KILL ]; then
    wait_for "nothing of the run is running after $signal during ${where:-make}" nothing_running
  else
    nothing_running || fail "still running as the run ends after $signal during ${where:-make}: $(running_here)"
    [ ! -s "$tmp/removed-under-work" ] || fail "after $signal during ${where:-make}, the removal of $(cat "$tmp/removed-under-work") began while its run's processes were alive"
  fi
  [ -z "$(mounted_here)" ] || fail "mounted after $signal during ${where:-make}: $(mounted_here)"
  ! grep -v -e "^try-debian: " -e "^quick passed$" "$tmp/run.log" ||
    fail "$signal during ${where:-make} prints more than the run's own lines (above)"
  if [ "$signal" = KILL ]; then
    [ "$(runs_left)" = "$dir" ] || fail "KILL during ${where:-make} leaves not its folder $dir but: $(runs_left)"
    removal=$(removal_of "$(cat "$tmp/run.log")")
    bash -c "$removal" || fail "\"$removal\", from the killed run's first line, fails"
  fi
  [ -z "$(runs_left)" ] || fail "left on disk after $signal during ${where:-make}: $(runs_left)"
}
for signal in TERM KILL; do
  interrupt $signal debootstrap debootstrap-started quick
  interrupt $signal clone clone-started quick
  interrupt $signal "" make-started slow
done
[ "$(fingerprint)" = "$untouched" ] || fail "an interrupted run touched folders it did not make"
echo "test-try-debian: ok: TERM and KILL during debootstrap, the clone and make leave nothing mounted or running, and only KILL its folder"

# ---- Root's environment ----
# Through a symlink to a checkout of another user's, which git trusts only by its real
# path, with git's variables naming another repository and CDPATH a decoy of the path.
theirs=$tmp/theirs
cp -a "$project" "$theirs"
chown -R 65534:65534 "$theirs"
ln -s theirs "$tmp/link"
mkdir -p "$tmp/decoy/link/scripts" "$tmp/other"
printf 'quick:\n\t@echo the other repository\n' > "$tmp/other/Makefile"
git -C "$tmp/other" init --quiet --initial-branch=main
git -C "$tmp/other" add -A
git -C "$tmp/other" -c user.name=test -c user.email=test@localhost commit --quiet -m other
step "waiting for a run through a symlink, with GIT_DIR, GIT_WORK_TREE and CDPATH"
status=0
out=$(cd "$tmp" && CDPATH=$tmp/decoy GIT_DIR=$tmp/other/.git GIT_WORK_TREE=$tmp/other TRY_RUN=$tmp \
  timeout -k 10 "$STEP_LIMIT" link/scripts/try-debian.sh stand quick 2>&1) || status=$?
[ $status = 0 ] && grep -qxF "quick passed" <<< "$out" &&
  grep -qF "cloned $(git -C "$project" rev-parse --short HEAD) into" <<< "$out" ||
  fail "through a symlink to another user's checkout, with GIT_DIR, GIT_WORK_TREE and CDPATH exported, the run does not try that checkout: status $status: $out"
left_nothing "the run through a symlink"
echo "test-try-debian: ok: through a symlink to another user's checkout, with GIT_DIR, GIT_WORK_TREE and CDPATH exported, it tries that checkout"

# ---- A failing debootstrap; a kept folder ----
TRY_FAIL=debootstrap attempt "a failing debootstrap" stand quick
[ $status != 0 ] && grep -qF "E: the stand-in fails as asked" <<< "$out" || fail "a failing debootstrap's log is not shown: $out"
[ -z "$(runs_left)" ] || fail "a failing debootstrap leaves $(runs_left)"
HORAVANE_TRY_KEEP=1 attempt "a run that keeps its folder" stand quick
kept=$(last_made)
[ $status = 0 ] && [ -d "$kept/root/home/newcomer" ] && grep -qF "kept $kept" <<< "$out" ||
  fail "HORAVANE_TRY_KEEP=1 did not keep and name the folder: $out"
grep -qP "^127\.0\.1\.1\t\Q$(uname -n)\E$" "$kept/root/etc/hosts" ||
  fail "the new system's /etc/hosts does not name this machine's host name, which sudo looks up"
bash -c "$(removal_of "$out")" && [ -z "$(runs_left)" ] || fail "the kept folder's removal fails"
echo "test-try-debian: ok: a failing debootstrap shows its log; a kept folder stays until removed by hand"

# ---- The mirror, as apt reads this machine's sources ----
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
# sources <case>: an apt configuration of its own for the case, with empty lists.
sources() {
  apt=$tmp/apt/$1
  mkdir -p "$apt/sources.list.d" "$apt/lists/partial"
  printf 'Dir::Etc::SourceList "%s";\nDir::Etc::SourceParts "%s";\nDir::State::Lists "%s";\n' \
    "$apt/sources.list" "$apt/sources.list.d" "$apt/lists" > "$apt/apt.conf"
  touch "$apt/sources.list"
}
# fetched <repository> <suite> <origin> <label> <codename>: the repository's index files
# and Release as `apt-get update` would have left them, at the names apt gives them.
fetched() {
  local uri release file
  while read -r uri release file; do
    [ "$uri" = "$1" ] && [ "$release" = "$2" ] || continue
    : > "$file"
    printf 'Origin: %s\nLabel: %s\nSuite: %s\nCodename: %s\n' "$3" "$4" "$2" "$5" \
      > "${file%%_dists_"$release"_*}_dists_${release}_InRelease"
  done < <(APT_CONFIG=$apt/apt.conf apt-get indextargets --no-release-info \
    --format '$(REPO_URI) $(RELEASE) $(FILENAME)' "Identifier: Packages")
}
# mirror_is <case> <expected mirror, or "" for debootstrap's own>
mirror_is() {
  local dir
  APT_CONFIG=$apt/apt.conf TRY_FAIL=debootstrap attempt "the mirror with $1" stand quick
  dir=$(last_made)
  [ "$(tail -1 "$tmp/calls")" = "stand $dir/root${2:+ $2}" ] ||
    fail "with $1, debootstrap is asked for \"$(tail -1 "$tmp/calls")\", not \"stand $dir/root${2:+ $2}\": $out"
}
unset HORAVANE_TRY_MIRROR
sources "a third party first"
cat > "$apt/sources.list" << EOF
deb http://third.example/debian $codename main
deb-src http://source.example/debian $codename main
  deb [arch=amd64] http://deb.example/debian $codename main contrib
EOF
fetched http://third.example/debian/ "$codename" Third Third "$codename"
fetched http://deb.example/debian/ "$codename" Debian Debian "$codename"
mirror_is "a third-party list first and Debian's indented" http://deb.example/debian/
sources "a stanza turned off"
printf 'Types: deb\nURIs: http://off.example/debian\nSuites: %s\nComponents: main\n' "$codename" > "$apt/sources.list.d/off.sources"
fetched http://off.example/debian/ "$codename" Debian Debian "$codename"
echo "Enabled: false" >> "$apt/sources.list.d/off.sources"
mirror_is "only a deb822 stanza with Enabled: false" ""
sources "several URIs"
printf 'Types:deb\nURIs: http://one.example/debian https://two.example/debian\nSuites: %s\nComponents: main\n' "$codename" > "$apt/sources.list.d/debian.sources"
fetched http://one.example/debian/ "$codename" Debian Debian "$codename"
fetched https://two.example/debian/ "$codename" Debian Debian "$codename"
mirror_is "a deb822 stanza of Types:deb with two URIs" http://one.example/debian/
sources "mirror+file"
printf 'deb mirror+file:/etc/apt/mirrors.txt %s main\ndeb file:/srv/debian %s main\n' "$codename" "$codename" > "$apt/sources.list"
fetched mirror+file:/etc/apt/mirrors.txt/ "$codename" Debian Debian "$codename"
fetched file:/srv/debian/ "$codename" Debian Debian "$codename"
mirror_is "a mirror+file: list first, then a file: archive" file:/srv/debian/
sources "security only"
printf 'deb http://security.example/debian-security %s-security main\ndeb http://deb.example/debian %s-updates main\n' "$codename" "$codename" > "$apt/sources.list"
fetched http://security.example/debian-security/ "$codename-security" Debian Debian-Security "$codename-security"
fetched http://deb.example/debian/ "$codename-updates" Debian Debian "$codename-updates"
mirror_is "only the security and updates archives" ""
HORAVANE_TRY_MIRROR=http://override.example/debian mirror_is "HORAVANE_TRY_MIRROR set" http://override.example/debian
[ -z "$(runs_left)" ] || fail "the mirror's runs left $(runs_left)"
[ "$(fingerprint)" = "$untouched" ] || fail "a run touched folders it did not make"
echo "test-try-debian: ok: the mirror is Debian's own archive of $codename as apt reads the sources, over http, https or file only"
