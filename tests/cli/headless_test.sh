#!/usr/bin/env bash
# The upload without a window, as a script uses it: the real program against the target
# simulator on a pty, one run per exit status, with the exact output.
#   headless_test.sh PELKO ZEMRA_SIM
set -euo pipefail
pelko="$(realpath "$1")"
simulator="$(realpath "$2")"
work="$(mktemp -d /tmp/pelko-cli.XXXXXX)"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work" # PELKO.SET, if any, would be read from here: there is none
# Lock files in a folder of the run's own, never the system's.
export PELKO_LOCK_DIR="$work/locks"
mkdir -p "$PELKO_LOCK_DIR"
fail() { echo "FAIL: $*" >&2; exit 1; }

start_sim() {
  [ -n "$sim_pid" ] && { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
  rm -f "$work/sim.out" # the new one's, not the last one's, is waited for
  "$simulator" --pty "$@" > "$work/sim.out" 2> "$work/sim.log" &
  sim_pid=$!
  for _ in $(seq 100); do grep -q '^PTY ' "$work/sim.out" 2>/dev/null && break; sleep 0.05; done
  pty=$(sed -n 's/^PTY //p' "$work/sim.out" | head -n1)
  [ -n "$pty" ] || fail "the simulator gave no pty: $(cat "$work/sim.log")"
}
# run EXPECTED_STATUS ARGS...: runs pelko, keeps stdout and stderr in out and err
run() {
  local want="$1"; shift
  local got=0
  "$pelko" "$@" > "$work/out" 2> "$work/err" < /dev/null || got=$?
  [ "$got" -eq "$want" ] || fail "pelko $* ended with $got, not $want: $(cat "$work/err")"
}
same() { # file, expected text
  [ "$(cat "$1")" = "$2" ] || fail "$(basename "$1") was '$(cat "$1")', not '$2'"
}

# LF line ends, a last line without one, and a byte the target cannot take.
{ for i in $(seq 1 11); do printf 'line %d\n' "$i"; done; printf 'line 12\xe9'; } > good.src
printf 'one\r\n\\ kkk\r\ntwo oops\r\nthree\r\n' > bad.src

start_sim --transcript "$work/transcript"
run 0 --upload good.src --com1="$pty"
same out "Loading .. Ready"
same err "good.src:12: warning: bytes above 0x7F dropped"
[ "$(wc -l < transcript)" -eq 12 ] || fail "the target received $(wc -l < transcript) lines"
# The same source from standard input.
: > transcript
"$pelko" --upload - --com1="$pty" < good.src > out 2> err || fail "--upload - ended with $?"
same out "Loading .. Ready"
same err "-:12: warning: bytes above 0x7F dropped"
[ "$(wc -l < transcript)" -eq 12 ] || fail "from stdin the target received $(wc -l < transcript) lines"

start_sim --reject-word oops
run 1 --upload bad.src --visible --baud 115200 --com1="$pty" --log "$work/session.log"
grep -q '^\[pelko\] session 20..-..-..T..:..:..\....[+-]..:.., Pelko v3\.1, COM1 (' session.log ||
  fail "no session line in the log: $(cat session.log)"
grep -q '^\[pelko\] upload started: bad.src$' session.log || fail "log: $(cat session.log)"
grep -q '^\[pelko\] upload ended: rejected in line 3, echo "two oops ~ oops ?"$' session.log ||
  fail "log: $(cat session.log)"
same out "<1> one
<3> Source Error in line <3> "
same err "bad.src:2: pause: continuing, standard input is not a terminal
bad.src:3: error: the target rejected the line: two oops ~ oops ?"

# A program in three files: each read once where required, in order; a rejected line is named
# by its own file and line; a missing file sends nothing.
mkdir -p lib
printf 'main 1\n#include lib/a.src\n#require "lib/common.src" \\ once\nmain 4\n' > app.src
printf 'a 1\n#require common.src\na oops\n' > lib/a.src
printf 'common 1\n' > lib/common.src
run 0 --deps app.src
same out "app.src: lib/a.src lib/common.src"
run 0 --dry-run app.src
same out "    1 | main 1
lib/a.src:1 | a 1
lib/common.src:1 | common 1
lib/a.src:3 | a oops
    4 | main 4"
start_sim --reject-word oops --transcript "$work/t-three"
run 1 --upload app.src --com1="$pty"
same err "lib/a.src:3: error: the target rejected the line: a oops ~ oops ? (included from app.src:2)"
same t-three "main 1
a 1
common 1
a oops"
printf 'x\n#include none.src\n' > lib/b.src; printf 'one\n#include lib/b.src\n' > broken.src
: > t-three
run 3 --upload broken.src --com1="$pty"
same err "lib/b.src:2: error: cannot open none.src: No such file or directory (included from broken.src:2)"
[ ! -s t-three ] || fail "a source with a missing include sent $(cat t-three)"
run 3 --deps broken.src
same err "lib/b.src:2: error: cannot open none.src: No such file or directory (included from broken.src:2)"

# Closed standard streams: none of Pelko's own words reaches the target in their place.
printf 'one\r\ntw\xe9o\r\nthree oops\r\n' > closed.src
for closed in '<&- 2>&-' '<&- >&-' '<&- >&- 2>&-'; do
  rm -f t-closed; start_sim --reject-word oops --transcript "$work/t-closed"
  got=0; eval "\"\$pelko\" --upload closed.src --com1=\"\$pty\" >\"\$work/out\" 2>\"\$work/err\" $closed" || got=$?
  [ "$got" -eq 1 ] || fail "with $closed the upload ended with $got"
  same t-closed "one
two
three oops"
done

run 2 --upload good.src --com1="$work/no-such-device"
same err "pelko: cannot open COM1: $work/no-such-device: No such file or directory"

# A port another program holds: its lock file and the process are named.
sleep 30 & holder=$!
printf '%10d\n' "$holder" > "$PELKO_LOCK_DIR/LCK..$(echo "${pty#/dev/}" | tr / _)"
run 2 --upload good.src --com1="$pty"
grep -q "in use by process $holder (sleep) (lock file $PELKO_LOCK_DIR/LCK" "$work/err" ||
  fail "a held port said: $(cat "$work/err")"
kill "$holder"; wait "$holder" 2>/dev/null || true

# A log that cannot be written is said once, with the reason; a FIFO without a reader holds
# neither the start nor the exit (about 2 s), and what it could not take is counted.
run 0 --upload good.src --com1="$pty" --log /dev/full
grep -c 'the log /dev/full: No space left on device' err | grep -qx 1 || fail "/dev/full: $(cat err)"
mkfifo "$work/fifo"
run 0 --upload good.src --com1="$pty" --log "$work/fifo"
grep -q "the log $work/fifo: [0-9]* bytes could not be written" err || fail "FIFO: $(cat err)"

# A pty has no modem lines: a reset asked for is refused, and nothing is sent.
run 2 --upload good.src --reset --com1="$pty"
same err "pelko: cannot reset the target: the device has no modem lines"

run 3 --upload missing.src --com1="$pty" --log /nonexistent/session.log
grep -q 'cannot write the log /nonexistent/session.log: No such file or directory; going on' \
  "$work/err" || fail "a log that cannot be written said: $(cat "$work/err")"
run 3 --upload missing.src --com1="$pty"
same err "missing.src: Unable to open Source File! No such file or directory"

start_sim --silent
run 4 --upload good.src --timeout 0.3 --com1="$pty"
same out "Loading Upload cancelled in line <1> "
same err "good.src:1: error: no answer from the target within 0.3 s"

# Signals in scripts: a closed pipe ends the upload as interrupted, a SIGHUP ignored by nohup
# stays ignored, SIGTERM (as Ctrl+C; a script's background job ignores SIGINT) stops before
# the next line; none leaves a lock file behind.
for i in $(seq 1 200); do printf 'row %d\n' "$i"; done > long.src
started() { for _ in $(seq 200); do [ -s "$1" ] && return 0; sleep 0.05; done; fail "no upload"; }
no_locks() { [ -z "$(ls -A "$PELKO_LOCK_DIR")" ] || fail "lock file left: $(ls "$PELKO_LOCK_DIR")"; }
start_sim --line-delay 2 --transcript "$work/t2"
set +o pipefail
"$pelko" --upload long.src --com1="$pty" 2> "$work/err" | head -c 1 > /dev/null
got=${PIPESTATUS[0]}
set -o pipefail
[ "$got" -eq 4 ] || fail "a closed pipe ended with $got: $(cat "$work/err")"
no_locks
start_sim --line-delay 2 --transcript "$work/t3"
(trap '' HUP; exec "$pelko" --upload long.src --com1="$pty" > /dev/null 2>&1) &
up=$!
started t3; kill -HUP "$up"; got=0; wait "$up" || got=$?
[ "$got" -eq 0 ] || fail "an ignored SIGHUP ended the upload with $got"
[ "$(wc -l < t3)" -eq 200 ] || fail "after SIGHUP the target received $(wc -l < t3) lines"
start_sim --line-delay 2 --transcript "$work/t4"
"$pelko" --upload long.src --com1="$pty" > /dev/null 2> "$work/err" &
up=$!
started t4; kill -TERM "$up"; got=0; wait "$up" || got=$?
[ "$got" -eq 143 ] || fail "SIGTERM ended the upload with $got, not by the signal"
grep -q ': error: interrupted' "$work/err" || fail "SIGTERM said: $(cat "$work/err")"
sent=$(wc -l < t4); sleep 0.1
[ "$(wc -l < t4)" -eq "$sent" ] && [ "$sent" -lt 200 ] || fail "lines went out after SIGTERM"
no_locks
# SIGINT while the source still comes from standard input is an interrupt like any other (perl
# gives the background job back its SIGINT).
mkfifo "$work/in"
perl -e '$SIG{INT} = "DEFAULT"; exec @ARGV' "$pelko" --upload - --com1="$pty" < "$work/in" \
  > /dev/null 2> "$work/err" &
up=$!
exec 4> "$work/in" # a writer that never writes nor closes
sleep 0.3; kill -INT "$up"; got=0; wait "$up" || got=$?
exec 4>&-
[ "$got" -eq 130 ] || fail "SIGINT while reading standard input ended with $got: $(cat err)"
grep -q 'File Read Error' "$work/err" && fail "SIGINT was taken for a read error"
no_locks

run 64 --upload good.src --port COM9
run 64 --upload --port COM2 good.src
run 64 --upload good.src --dry-run good.src
run 64 --upload good.src --reset-wait 100
run 64 --upload good.src --reset --reset-wait 1.5
run 64 --dry-run good.src --reset
# Line numbers go on past 65535: the warning names line 65537.
{ printf 'b\n'; head -c 65535 /dev/zero | tr '\0' '\n'; printf 'a\xe9'; } > wide.src
run 0 --dry-run wide.src
same err "wide.src:65537: warning: bytes above 0x7F dropped"
[ "$(tail -n 1 out)" = "65537 | a" ] || fail "the last line listed was $(tail -n 1 out)"
run 0 --dry-run bad.src
same out "    1 | one
      = pause
    3 | two oops
    4 | three"
echo "headless: all runs passed"
