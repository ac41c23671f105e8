#!/usr/bin/env bash
# `pelko --upload` while a Pelko window (offscreen) holds the port: the upload runs in the
# window and the caller ends as a headless upload would.
#   - the target receives what it receives from a headless upload, and the caller prints the
#     same output and messages;
#   - a line rejected in an included file gives status 1 and that file's FILE:LINE;
#   - an option that cannot apply is refused with status 64;
#   - SIGTERM (as Ctrl+C) in the caller while the window's pause box is up ends the upload, and the window
#     takes the next one;
#   - the window's socket is gone once it has ended.
#   handoff_upload.sh PELKO ZEMRA_SIM
set -euo pipefail
pelko="$(realpath "$1")"
simulator="$(realpath "$2")"
work="$(mktemp -d /tmp/pelko-handoff.XXXXXX)"
chmod 700 "$work"
mkdir "$work/locks" "$work/lib"
export XDG_RUNTIME_DIR="$work" PELKO_LOCK_DIR="$work/locks" QT_QPA_PLATFORM=offscreen
cd "$work"
sim_pid="" win_pid=""
cleanup() {
  for p in $win_pid $sim_pid; do kill -KILL "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; cat "$work"/*.log >&2 || true; exit 1; }
# run EXPECTED_STATUS ARGS...: the caller's output in out, its messages in err
run() {
  local want="$1" got=0
  shift
  "$pelko" "$@" > out 2> err < /dev/null || got=$?
  [ "$got" -eq "$want" ] || fail "pelko $* ended with $got, not $want: $(cat err)"
}

printf 'main 1\n#include lib/a.src\nmain 3\n' > app.src
printf 'a 1\n\t  a 2\n' > lib/a.src
printf 'main 1\n#include lib/bad.src\n' > bad.src
printf 'b 1\nb oops\nb 3\n' > lib/bad.src
printf 'p 1\n\\ kkk wait here\np 2\n' > pause.src

"$simulator" --pty --reject-word oops --transcript "$work/transcript" > sim.out 2> sim.log &
sim_pid=$!
for _ in $(seq 100); do grep -q '^PTY ' sim.out 2>/dev/null && break; sleep 0.05; done
pty=$(sed -n 's/^PTY //p' sim.out | head -n1)
[ -n "$pty" ] || fail "the simulator gave no pty"

run 0 --upload app.src --visible --com1="$pty"
mv out headless.out
mv err headless.err
cp transcript headless.transcript
: > transcript

"$pelko" --com1="$pty" > window.log 2>&1 &
win_pid=$!
for _ in $(seq 100); do [ -S "$work/pelko/$(echo "$pty" | tr / !)" ] && break; sleep 0.05; done
[ -S "$work/pelko/$(echo "$pty" | tr / !)" ] || fail "the window gave no socket: $(ls -R "$work")"

run 0 --upload app.src --visible --com1="$pty"
cmp headless.transcript transcript || fail "the target received other lines from the window"
cmp headless.out out || fail "output '$(cat out)', not '$(cat headless.out)'"
[ "$(grep -v 'held by a Pelko window' err)" = "$(cat headless.err)" ] || fail "messages: $(cat err)"

run 1 --upload bad.src --com1="$pty"
grep -qxF 'lib/bad.src:2: error: the target rejected the line: b oops ~ oops ? (included from bad.src:2)' err ||
  fail "rejected line: $(cat err)"

run 64 --upload app.src -b 9600 --com1="$pty"

"$pelko" --upload pause.src --com1="$pty" > out 2> err < /dev/null &
caller=$!
for _ in $(seq 100); do grep -q 'pause: waiting' err && break; sleep 0.05; done
grep -qx 'pause.src:2: pause: waiting for Continue in the window' err || fail "pause: $(cat err)"
kill -TERM "$caller"
got=0
wait "$caller" || got=$?
[ "$got" -eq 143 ] || fail "the cancelled caller ended with $got: $(cat err)"
run 0 --upload app.src --com1="$pty"

kill -TERM "$win_pid"
wait "$win_pid" || true
win_pid=""
[ -z "$(ls -A pelko)" ] || fail "left in the socket folder: $(ls -A pelko)"
echo PASS
