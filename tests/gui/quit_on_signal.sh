#!/usr/bin/env bash
# Pelko ended from outside while COM1 (a pty of the target simulator) is connected:
#   - SIGTERM: the port is closed and its UUCP lock file removed, then Pelko ends by SIGTERM;
#   - the same while the "Connection failed." box of the start-up is still up;
#   - another X client destroys the main window (xdotool windowclose): Pelko ends with status 0,
#     the port closed and its lock file removed;
#   - the X server goes away (Qt then calls exit()): the lock file is removed all the same.
# Lock files go to a private folder (PELKO_LOCK_DIR).
set -euo pipefail
pelko="$(realpath "$1")"
simulator="$(realpath "$2")"
work="$(mktemp -d /tmp/pelko-quit.XXXXXX)"
chmod 700 "$work"
mkdir "$work/locks"
export XDG_RUNTIME_DIR="$work" PELKO_LOCK_DIR="$work/locks"
cd "$work"
sim_pid="" pelko_pid="" xvfb_pid=""
cleanup() {
  for p in $pelko_pid $xvfb_pid $sim_pid; do kill -KILL "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; cat "$work"/*.log >&2 || true; exit 1; }

running() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1) || true
  [ -n "$state" ] && [ "$state" != Z ]
}
# Waits up to 5 s for Pelko to end; its exit status in $status.
ended() {
  for _ in $(seq 100); do running "$pelko_pid" || break; sleep 0.05; done
  running "$pelko_pid" && return 1
  status=0
  wait "$pelko_pid" || status=$?
  pelko_pid=""
}
# Starts Pelko on COM1 and waits for its lock file.
start() {
  "$pelko" --com1="$pty" >> pelko.log 2>&1 &
  pelko_pid=$!
  for _ in $(seq 100); do [ -e "$lock" ] && break; sleep 0.05; done
  [ "$(tr -d ' \n' < "$lock" 2>/dev/null)" = "$pelko_pid" ] || fail "no lock file of Pelko's"
}

"$simulator" --pty > sim.out 2> sim.log &
sim_pid=$!
for _ in $(seq 100); do grep -q '^PTY ' sim.out 2>/dev/null && break; sleep 0.05; done
pty=$(sed -n 's/^PTY //p' sim.out | head -n1)
[ -n "$pty" ] || fail "the simulator gave no pty"
lock="$work/locks/LCK..$(realpath "$pty" | sed 's|^/dev/||; s|/|_|g')"

export QT_QPA_PLATFORM=offscreen
start
kill -TERM "$pelko_pid"
ended || fail "still running 5 s after SIGTERM"
[ "$status" -eq 143 ] || fail "exit status $status, not that of SIGTERM"
[ -z "$(ls -A locks)" ] || fail "left in the lock folder: $(ls -A locks)"

"$pelko" --com1="$work/none" >> pelko.log 2>&1 &
pelko_pid=$!
sleep 1
kill -TERM "$pelko_pid"
ended || fail "still running 5 s after SIGTERM during the start-up box"

export QT_QPA_PLATFORM=xcb
Xvfb -displayfd 4 -screen 0 800x600x24 -nolisten tcp 4> display 2> xvfb.log &
xvfb_pid=$!
for _ in $(seq 100); do [ -s display ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 display)"
start
for _ in $(seq 100); do
  win=$(xdotool search --onlyvisible --pid "$pelko_pid" 2>/dev/null | tail -n1) && break
  sleep 0.1
done
[ -n "${win:-}" ] || fail "no window of Pelko's"
xdotool windowclose "$win"
ended || fail "still running 5 s after its window was destroyed"
[ "$status" -eq 0 ] || fail "exit status $status after the window was destroyed"
[ ! -e "$lock" ] || fail "lock file left when the window was destroyed"

start
kill -KILL "$xvfb_pid"
ended || fail "still running 5 s after the X server went away"
[ ! -e "$lock" ] || fail "lock file left when the display went away"
echo PASS
