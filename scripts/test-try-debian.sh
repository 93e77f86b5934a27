#!/bin/bash
# Checks that try-debian.sh, which runs as root, touches nothing but what it made: it runs
# the script of this checkout in a throwaway project whose Makefile has quick, slow and
# failing targets, with a stand-in for debootstrap that makes a small system from this
# machine's own /usr (read-only) in a moment, without a network. Checked:
# - bases it must refuse (a symbolic link, one owned by another user, one writable by
#   others, one below a folder of another user), and the refusal changes nothing;
# - two runs of one release at once, the second with a relative base, under umask 077,
#   while the first waits in its make target: both pass, neither touches the other;
# - INT, TERM, HUP and KILL during debootstrap, the clone and a make target: nothing is
#   left mounted or running, and no folder but the one KILL leaves, which the next run
#   removes and names;
# - a failing debootstrap shows its log; a tree kept on purpose stays until --clean;
#   --clean leaves a folder with something mounted in it alone, and removes it once that
#   is unmounted.
# Needs root; exits 77 (skipped) without it.
#
#   test-try-debian.sh
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "test-try-debian: needs root; skipped"; exit 77; }
here=$(cd "$(dirname "$0")" && pwd)

tmp=$(mktemp -d /tmp/test-try-debian.XXXXXX) # under root's own sticky /tmp, whatever TMPDIR says
mounted=() # what this test mounts itself, unmounted on the way out
cleanup() {
  local status=$?
  set +e
  # Whatever of the runs is still alive, then what the test mounted, then its folder.
  pkill -KILL -f -- "$tmp/" 2>/dev/null
  for target in "${mounted[@]}" $(findmnt -rn -o TARGET | grep -F "$tmp/" | sort -r); do
    umount "$target" 2>/dev/null
  done
  rm -rf --one-file-system -- "$tmp"
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

fail() {
  echo "test-try-debian: FAILED: $*" >&2
  exit 1
}
# wait_for <what> <command...>: polls the command until it succeeds, for up to 30 s.
wait_for() {
  local what=$1
  shift
  for _ in $(seq 300); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  fail "$what (not seen within 30 s)"
}

# ---- The throwaway project, with this checkout's try-debian.sh ----
project=$tmp/project
mkdir -p "$project/scripts"
cp "$here/try-debian.sh" "$project/scripts/"
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

# ---- The stand-in for debootstrap, first on the PATH ----
# It records each call in $tmp/calls, waits when TRY_SLOW=debootstrap, fails with a log
# line when TRY_FAIL=debootstrap, and with TRY_SLOW=clone puts a git that waits first on
# the new system's PATH.
mkdir "$tmp/bin"
cat > "$tmp/bin/debootstrap" << 'EOF'
#!/bin/bash
set -euo pipefail
while [[ ${1:-} == --* ]]; do shift; done
root=${2:-}
echo "$*" >> "$TRY_TMP/calls"
# It makes things only in the test's own folder, whatever it is asked.
[[ $root == "$TRY_TMP"/* ]] || { echo "E: $root is not in the test's folder $TRY_TMP"; exit 1; }
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
chmod 755 "$tmp/bin/debootstrap"
export PATH=$tmp/bin:$PATH TRY_TMP=$tmp TRY_TEST_MOUNTS=$(readlink /proc/self/ns/mnt) HORAVANE_TRY_MIRROR=file:///stand-in/mirror
unset HORAVANE_TRY_KEEP TRY_SLOW TRY_FAIL
base=$tmp/base
export HORAVANE_TRY_DIR=$base

runs() { find "$base" -mindepth 1 -maxdepth 1 -name '*.*' ! -name .lock -printf '%f\n' 2>/dev/null | sort; }
calls() { [ -f "$tmp/calls" ] && wc -l < "$tmp/calls" || echo 0; }
# What of the runs is mounted, or running, anywhere: none may outlive its run.
mounted_here() { findmnt -rn -o TARGET | grep -F "$tmp/" || true; }
running_here() {
  local pid
  for pid in $(pgrep -f -- "$tmp/" || true); do
    [ "$pid" != $$ ] && [ -e "/proc/$pid" ] && echo "$pid $(tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null)"
  done
  for pid in /proc/[0-9]*; do
    [[ $(readlink "$pid/root" 2>/dev/null) == "$tmp/"* ]] && echo "${pid#/proc/} (rooted in $tmp)"
  done
  return 0
}
nothing_running() { [ -z "$(running_here)" ]; }
# started <marker>: the marker some run made in its new system's /tmp.
started() { compgen -G "$base/*/root/tmp/$1" > /dev/null; }
# go: lets every waiting run on.
go() { for dir in "$base"/*/root/tmp; do touch "$dir/go"; done; }

# ---- Refusals change nothing ----
# refused <what> <words the message must hold> [<arguments>]: the run on
# $HORAVANE_TRY_DIR, with the arguments (else "stand quick"), must stop before
# debootstrap, saying why.
refused() {
  local what=$1 words=$2 out before
  shift 2
  [ $# -gt 0 ] || set -- stand quick
  before=$(calls)
  if out=$("$try" "$@" 2>&1); then fail "$what is not refused: $out"; fi
  set -- "$what" "$words"
  grep -qF -- "$2" <<< "$out" || fail "refusing $1 does not say \"$2\": $out"
  [ "$(calls)" = "$before" ] || fail "debootstrap ran for $1"
}
# A base that holds another's things, as an earlier layout of the runs would.
victim=$tmp/victim
mkdir -p "$victim/stand/home" "$victim/stand.abcdef"
echo keep > "$victim/stand/home/marker"
echo keep > "$victim/stand.abcdef/marker"
fingerprint() { (cd "$victim" && find . -printf '%p %U %m\n' | sort && cat stand/home/marker stand.abcdef/marker); }
before=$(fingerprint)

ln -s "$victim" "$tmp/link"
HORAVANE_TRY_DIR=$tmp/link refused "a base that is a symbolic link" "symbolic link"
HORAVANE_TRY_DIR=$tmp/link/ refused "a base that is a symbolic link, given with a slash" "symbolic link"
chown nobody "$victim"
HORAVANE_TRY_DIR=$victim refused "a base owned by another user" "owned by user nobody"
chown root "$victim"
chmod 0777 "$victim"
HORAVANE_TRY_DIR=$victim refused "a base others may write to" "may be written by others"
chmod 0755 "$victim"
mkdir -m 0755 "$tmp/theirs"
chown nobody "$tmp/theirs"
HORAVANE_TRY_DIR=$tmp/theirs/base refused "a base in a folder of another user" "$tmp/theirs is owned by user nobody"
[ ! -e "$tmp/theirs/base" ] || fail "the base was made in another user's folder"
HORAVANE_TRY_DIR=$victim refused "a target that is shell text" "is not a make target" stand 'quick;touch /x'
[ "$(fingerprint)" = "$before" ] || fail "a refusal changed the base it refused:"$'\n'"$(fingerprint)"
echo "test-try-debian: ok: links, others' folders and shell text refused, and nothing changed"

# ---- Two runs of one release at once ----
# A run started in the background takes INT as from a terminal, not ignoring it as a
# background command of a script otherwise does.
background() { exec env --default-signal=INT "$@"; }
background "$try" stand slow > "$tmp/first.log" 2>&1 &
first=$!
wait_for "the first run waits in its make target" started make-started
mkdir -p "$tmp/cwd/rel"
out=$(cd "$tmp/cwd" && umask 077 && HORAVANE_TRY_DIR=./rel/../../base/ "$try" stand quick 2>&1) ||
  fail "a second run of the same release beside the first, with a relative base under umask 077, fails: $out"
grep -qF "quick passed" <<< "$out" || fail "the second run did not run its target: $out"
[[ $(tail -1 "$tmp/calls") == "stand $base/stand."??????"/root $HORAVANE_TRY_MIRROR" ]] ||
  fail "debootstrap was not asked for the release in the run's own folder from HORAVANE_TRY_MIRROR: $(tail -1 "$tmp/calls")"
started make-started || fail "the second run removed the first one's folder"
[ "$(runs | wc -l)" = 1 ] || fail "the second run left its folder: $(runs)"
go
wait "$first" || fail "the first run fails once let on: $(cat "$tmp/first.log")"
[ -z "$(runs)" ] || fail "folders left after both runs: $(runs)"
echo "test-try-debian: ok: two runs of one release at once, both passed, neither touched the other"

# ---- Interrupted at each step ----
# interrupt <signal> <step> <marker> <target>: a run that waits in the step, then the
# signal to the script.
interrupt() {
  local signal=$1 step=$2 marker=$3 status expected
  TRY_SLOW=$step background "$try" stand "$4" > "$tmp/run.log" 2>&1 &
  local pid=$!
  wait_for "a run waits in $step" started "$marker"
  kill -"$signal" "$pid"
  status=0
  { wait "$pid"; } 2> /dev/null || status=$? # without the shell's notice of the kill
  expected=$((128 + $(kill -l "$signal")))
  [ "$status" = "$expected" ] || fail "$signal during $step: status $status, not $expected: $(cat "$tmp/run.log")"
  wait_for "nothing of the run is running after $signal during $step" nothing_running
  [ -z "$(mounted_here)" ] || fail "mounted after $signal during $step: $(mounted_here)"
  if [ "$signal" = KILL ]; then
    [ "$(runs | wc -l)" = 1 ] || fail "KILL during $step leaves not one folder but: $(runs)"
    left=$(runs)
    out=$("$try" stand quick 2>&1) || fail "the run after KILL fails: $out"
    grep -qF "removed $base/$left, left by a run that was killed" <<< "$out" ||
      fail "the run after KILL does not remove and name $left: $out"
  fi
  [ -z "$(runs)" ] || fail "left on disk after $signal during $step: $(runs)"
}
for signal in INT TERM HUP KILL; do
  interrupt $signal debootstrap debootstrap-started quick
  interrupt $signal clone clone-started quick
  interrupt $signal "" make-started slow
done
echo "test-try-debian: ok: INT, TERM, HUP and KILL during debootstrap, the clone and make leave nothing mounted, running or on disk"

# ---- A failing debootstrap; what --clean leaves ----
if out=$(TRY_FAIL=debootstrap "$try" stand quick 2>&1); then fail "a failing debootstrap passes: $out"; fi
grep -qF "E: the stand-in fails as asked" <<< "$out" || fail "a failing debootstrap's log is not shown: $out"
[ -z "$(runs)" ] || fail "a failing debootstrap leaves $(runs)"
# A tree kept on purpose: named by the next run, removed only by --clean.
out=$(HORAVANE_TRY_KEEP=1 "$try" stand quick 2>&1) || fail "a run that keeps its tree fails: $out"
kept=$(runs)
[ -n "$kept" ] && [ -d "$base/$kept/root/home/newcomer" ] || fail "HORAVANE_TRY_KEEP=1 did not keep the tree: $out"
out=$("$try" stand quick 2>&1) || fail "the run after a kept one fails: $out"
grep -qF "$base/$kept/root was kept" <<< "$out" || fail "the run after a kept one does not name it: $out"
[ "$(runs)" = "$kept" ] || fail "the run after a kept one did not leave it alone: $(runs)"
# A folder a run left, with something mounted in it from outside the runs.
mkdir -p "$base/stand.zzzzzz/root/proc"
mount -t tmpfs tmpfs "$base/stand.zzzzzz/root/proc"
mounted+=("$base/stand.zzzzzz/root/proc")
echo keep > "$base/stand.zzzzzz/root/proc/marker"
if out=$("$try" --clean 2>&1); then fail "--clean passes with a folder it could not remove: $out"; fi
grep -qF "$base/stand.zzzzzz is left as it is: something is mounted there" <<< "$out" || fail "--clean does not name the mounted folder: $out"
grep -qF "removed $base/$kept, kept" <<< "$out" || fail "--clean does not remove the kept tree: $out"
[ -f "$base/stand.zzzzzz/root/proc/marker" ] || fail "--clean removed files of a folder with something mounted"
umount "$base/stand.zzzzzz/root/proc"
out=$("$try" --clean 2>&1) || fail "--clean fails on an unmounted folder: $out"
[ -z "$(runs)" ] || fail "--clean left $(runs)"
echo "test-try-debian: ok: a failing debootstrap shows its log; a kept tree stays until --clean; --clean leaves a folder with a mount alone"
