#!/bin/bash
# Play mode as a person uses it: `horavane-sim play` in a tmux terminal, keys typed
# with send-keys, the screen read with capture-pane. It opens the menu with F5, moves
# the highlight with the keypad digits, chooses rates, switches remembering on, and
# quits with Ctrl-C, with Esc Esc and by a signal; the terminal must be given back
# every time, and the settings file (the shipped one, when given) must keep every line
# but the two the plug-in writes.
#
# Real time: each expectation is polled every 0.1 s for up to 20 s; nothing is timed.
# Keys for the open menu are typed once each, when the menu can take them (settle).
#
#   play_mode_test.sh <horavane-sim> [<horavane.ini to start with>]
set -euo pipefail

sim=$(realpath "${1:?usage: play_mode_test.sh <horavane-sim> [<horavane.ini>]}")
ini=${2:-}
work=$(mktemp -d)
# tmux keeps its servers' sockets in the folder $TMUX_TMPDIR/tmux-<uid>, which it makes
# (in /tmp by default) and never removes: here it makes it in the work folder, removed
# at the end. A socket's path holds at most 107 bytes; where the work folder lies too
# deep for that, it is made in /tmp instead, and removed at the end all the same.
longest_socket=$work/tmux-$(id -u)/play-999
if [ ${#longest_socket} -gt 107 ]; then
  rmdir "$work"
  work=$(mktemp -d /tmp/horavane-play.XXXXXX)
fi
export TMUX_TMPDIR=$work
# Each run of play mode gets a tmux server of its own: a new session on a server that
# is still shutting down fails with "server exited unexpectedly".
runs=0
socket=play-$runs
tmux_() { tmux -L "$socket" -f /dev/null "$@"; }
stop_server() {
  tmux_ kill-server 2>/dev/null || true
  rm -f "$TMUX_TMPDIR/tmux-$(id -u)/$socket"
}
cleanup() {
  stop_server
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
fail() {
  echo "play_mode_test: FAILED: $*" >&2
  echo "---- the screen ----" >&2
  tmux_ capture-pane -p -t play >&2 || true
  echo "0 passed, 1 failed"
  exit 1
}
pass() {
  passed=$((passed + 1))
  echo "play_mode_test: ok: $*"
}

screen() { tmux_ capture-pane -p -t play; }
menu_h=$(dirname "$0")/../src/menu/menu.h
# The highlighted line: the text drawn in the highlight colour, as the terminal's
# 24-bit colour code "38;2;<red>;<green>;<blue>m", the components from src/menu/menu.h.
highlight_code=$(sed -n 's/^constexpr TextColour HIGHLIGHT = {\([0-9]*\)\.0f, \([0-9]*\)\.0f, \([0-9]*\)\.0f.*/38;2;\1;\2;\3m/p' "$menu_h")
[ -n "$highlight_code" ] || { echo "play_mode_test: no HIGHLIGHT colour found in src/menu/menu.h" >&2; exit 2; }
highlighted() {
  tmux_ capture-pane -p -e -t play | grep -a -F "$highlight_code" | head -1 |
    sed -e 's/\x1b\[[0-9;:]*m//g' -e 's/^ *//' -e 's/ *$//' || true
}
active_lines() { screen | grep -F '(NOW ACTIVE)' | sed -e 's/^ *//' -e 's/ *$//' || true; }

# wait_for <what> <command...>: polls the command until it succeeds, for up to 20 s.
wait_for() {
  local what=$1
  shift
  for _ in $(seq 200); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  fail "$what (not seen within 20 s)"
}
on_screen() { screen | grep -qF -- "$1"; }
highlight_is() { [ "$(highlighted)" = "$1" ]; }
highlight_starts() { [[ "$(highlighted)" == "$1"* ]]; }
active_are() { [ "$(active_lines | tr '\n' '|')" = "$1" ]; }
menu_closed() { ! on_screen "Remember on next game start"; }

# Reads the rate (ms per game minute) from the status line of one screen into
# `shown_rate`; fails while no whole status line is on the screen.
read_rate() {
  local line
  line=$(screen | grep -o "Game time [0-9:]*   rate [0-9]* ms per game minute   game's clock [a-z]*" | head -1) || true
  [[ $line =~ \ rate\ ([0-9]+)\  ]] || return 1
  shown_rate=${BASH_REMATCH[1]}
}
# A whole status line with another rate than $1; `shown_rate` holds the rate seen.
rate_is_not() { read_rate && [ "$shown_rate" != "$1" ]; }

# The menu takes a key only between its steps: after opening, a move or a choice it
# draws for OPEN_, MOVE_ or ACTION_DELAY_MS (src/menu/menu.h) of the game's tick
# count, and then answers only releases at most 100 ms old. A key typed during a step
# is lost when the step's last frame comes late, as on a busy machine, and a key typed
# again could act twice. Play mode's tick count is the real monotonic clock, read by
# each frame after it takes the typed bytes, and a step starts in the frame that first
# draws its effect. So a key typed longer than the longest step after the effect was
# seen on the screen reaches the menu in a frame in which the step is over, however
# late the frames come: the menu then polls on every frame and takes the key in the
# very frame that delivers it. The game clock on the screen is no measure of this: it
# moves in steps of up to two seconds of tick at the slow rates, and not at all at
# "Stop Time". SETTLE_MS is the longest step and a margin.
longest_step_ms=$(sed -n 's/^constexpr uint32_t [A-Z_]*_DELAY_MS = \([0-9]*\);.*/\1/p' "$menu_h" | sort -n | tail -1)
[ -n "$longest_step_ms" ] || { echo "play_mode_test: no *_DELAY_MS found in src/menu/menu.h" >&2; exit 2; }
SETTLE_MS=$((longest_step_ms + 100))
settle() { sleep "$((SETTLE_MS / 1000)).$(printf %03d $((SETTLE_MS % 1000)))"; }
# Another highlighted line than `before`, seen twice in a row so that a frame still
# being painted does not count.
highlight_moved_from() {
  local now
  now=$(highlighted)
  [ -n "$now" ] && [ "$now" != "$1" ] && sleep 0.05 && [ "$(highlighted)" = "$now" ]
}
# Types a key for the open menu once, when the menu can take it.
menu_key() {
  settle
  tmux_ send-keys -t play "$1"
}
# Types a key for the open menu and waits for the highlight to change.
move_highlight() {
  local key=$1 before
  before=$(highlighted)
  menu_key "$key"
  wait_for "the highlight moves from \"$before\" when $key is typed" highlight_moved_from "$before"
}
# Moves the highlight down with the down key until the line starting with `caption`
# is highlighted; `above` is left holding the line highlighted before it.
move_down_to() {
  local caption=$1
  for _ in $(seq 40); do
    highlight_starts "$caption" && return 0
    above=$(highlighted)
    move_highlight 2
  done
  fail "no line starting with \"$caption\" below the highlight"
}
# Starts play mode in a fresh 120x40 terminal in the work folder; records the
# terminal's settings before, and after play mode ends, for comparing.
start_play() {
  stop_server
  runs=$((runs + 1))
  socket=play-$runs
  rm -f "$work/stty-before" "$work/stty-after" "$work/status" "$work/play.pid"
  tmux_ new-session -d -s play -x 120 -y 40 -c "$work" -e COLORTERM=truecolor \
    "stty -g > stty-before; sh -c 'echo \$\$ > play.pid; exec \"\$0\" play' '$sim'; echo \$? > status;
     stty -g > stty-after; sleep 600"
  wait_for "play mode shows the game time" on_screen " Game time "
}
ended_cleanly() {
  wait_for "play mode ends" test -s "$work/stty-after"
  [ "$(cat "$work/status")" = 0 ] || fail "play mode exited with status $(cat "$work/status")"
  cmp -s "$work/stty-before" "$work/stty-after" || fail "the terminal's settings were not restored"
  wait_for "the summary line after play" on_screen "horavane-sim play: ended after"
  on_screen "Keys: F5 menu" && fail "the play screen was left on the terminal"
  return 0
}

if [ -n "$ini" ]; then
  cp "$ini" "$work/horavane.ini" || fail "$ini: cannot copy"
fi

# ---- Open the menu, move, choose a rate, quit with Ctrl-C ----
start_play
on_screen "Game time 12:00:0" || fail "a new game starts at 12:00:00"
on_screen "Horavane" && fail "the menu is shown before F5"
on_screen "Keys: F5 menu   8 up   2 down   5 choose   0 back" || fail "the help line names the default keys"
pass "play mode starts with the game running and the keys on screen"

tmux_ send-keys -t play F5
wait_for "F5 opens the menu" on_screen "Remember on next game start: OFF"
on_screen "Current time: 12:" || fail "the menu shows the game time"
wait_for "the first line is highlighted" highlight_is "Remember on next game start: OFF"
[ "$(active_lines | wc -l)" = 2 ] ||
  fail "the normal rate and the own rate (the same by default) are active at start"
pass "F5 opens the menu with the first line highlighted"

wait_for "the status line" read_rate
start_rate=$shown_rate
move_down_to "Time x 30"
x30=$(highlighted)
pass "keypad 2 (typed 2) moves the highlight down to $x30"
menu_key 5
wait_for "keypad 5 (typed 5) chooses $x30" active_are "$x30 (NOW ACTIVE)|"
wait_for "the status line shows a new rate" rate_is_not "$start_rate"
rate=$shown_rate
pass "keypad 5 chooses the highlighted rate: (NOW ACTIVE) moves to it, rate $rate"

move_highlight 8
highlight_is "$above" || fail "keypad 8 moves the highlight up to \"$above\", found \"$(highlighted)\""
pass "keypad 8 (typed 8) moves the highlight up"

menu_key 0
wait_for "keypad 0 closes the menu" menu_closed
on_screen "rate $rate ms per game minute" || fail "the rate stays when the menu closes"
pass "keypad 0 closes the menu and the rate stays"

tmux_ send-keys -t play C-c
ended_cleanly
pass "Ctrl-C ends play mode and gives the terminal back"

# ---- Remember a rate: the settings file gets only its two keys ----
start_play
tmux_ send-keys -t play F5
wait_for "F5 opens the menu again" on_screen "Remember on next game start: OFF"
wait_for "the first line is highlighted" highlight_starts "Remember on next game start"
menu_key 5
wait_for "keypad 5 on the first line switches remembering on" on_screen "Remember on next game start: ON"
move_down_to "Time / 8"
slow=$(highlighted)
menu_key 5
wait_for "keypad 5 chooses $slow" active_are "$slow (NOW ACTIVE)|"
wait_for "the status line shows a new rate after $slow" rate_is_not "$start_rate"
remembered=$shown_rate
pass "remembering switched on and $slow, rate $remembered, chosen"

tmux_ send-keys -t play Escape Escape
ended_cleanly
pass "Esc Esc ends play mode and gives the terminal back"

settings=$(tr -d '\r' < "$work/horavane.ini")
grep -qx 'REMEMBER_RATE=1' <<< "$settings" || fail "horavane.ini holds REMEMBER_RATE=1: $settings"
grep -qx "UPDATERATE=$remembered" <<< "$settings" || fail "horavane.ini holds UPDATERATE=$remembered: $settings"
if [ -n "$ini" ]; then
  changes=$(diff "$ini" "$work/horavane.ini" | grep '^[<>]' | tr -d '\r' | sort | tr '\n' '|' || true)
  [ "$changes" = "< REMEMBER_RATE=0|< UPDATERATE=$start_rate|> REMEMBER_RATE=1|> UPDATERATE=$remembered|" ] ||
    fail "only REMEMBER_RATE and UPDATERATE change in the shipped horavane.ini; the changes: $changes"
  pass "the shipped horavane.ini keeps every line but REMEMBER_RATE and UPDATERATE"
fi

# ---- The remembered rate comes back; a signal ends play mode cleanly ----
start_play
wait_for "the remembered rate is in force at start" on_screen "rate $remembered ms per game minute"
tmux_ send-keys -t play F5
wait_for "the menu marks the remembered rate" active_are "$slow (NOW ACTIVE)|"
move_highlight 2
pass "the next start runs at the remembered rate, and the menu takes keys at that rate"

play=$(cat "$work/play.pid")
kill -TERM "$play" || fail "no play mode process $play to signal"
ended_cleanly
pass "SIGTERM ends play mode and gives the terminal back"

echo "$passed passed, 0 failed"
