#!/usr/bin/env bash
# End-to-end run of the real program under Xvfb, driven with xdotool:
#   - COM1 is a pty served by the target simulator; typed text comes back as the target's echo;
#   - F1 opens the About box, Esc leaves it open, Return closes it;
#   - F2 chooses a source file, F3 uploads it: the target receives its code lines, and only them;
#   - Alt+F, x asks "exit   Pelko?"; Cancel keeps Pelko running, OK ends it with status 0.
# Screenshots go to the artefact folder given as the second argument.
set -euo pipefail
pelko="$(realpath "$1")"
artifacts="$(realpath -m "${2:-$PWD/artifacts}")"
simulator="$(realpath "$3")"
mkdir -p "$artifacts"
source "$(dirname "$0")/xvfb_lib.sh"

"$simulator" --pty --transcript "$work/transcript" > "$work/sim.out" 2> "$work/sim.log" &
sim_pid=$!
for _ in $(seq 100); do grep -q '^PTY ' "$work/sim.out" 2>/dev/null && break; sleep 0.05; done
pty=$(sed -n 's/^PTY //p' "$work/sim.out" | head -n1)
[ -n "$pty" ] || fail "the simulator gave no pty"

"$pelko" --com1="$pty" > "$work/pelko.log" 2>&1 &
pelko_pid=$!

main=$(find_window "Pelko v3.1") || fail "no main window"
sleep 0.5
press "$main" h e l l o space Z e m r a Return
press "$main" p r i n t space 4 2 Return
sleep 1
shot "02-main-window"

press "$main" F1
about=$(find_window "Pelko for Zemra") || fail "F1 did not open the About box"
sleep 0.3
shot "03-about"
press "$about" Escape
sleep 0.5
xdotool search --onlyvisible --name "^Pelko for Zemra\$" >/dev/null || fail "Esc closed the About box"
press "$about" Return
gone "Pelko for Zemra" || fail "Return did not close the About box"

# A source of 25 code lines between comments and blank lines.
{
  printf '\\ sample source\r\n\r\n'
  for i in $(seq 1 25); do printf ': word%d  %d ;  \\ note %d\r\n' "$i" "$i" "$i"; done
} > "$work/sample.src"
: > "$work/transcript"
select_source "$main" "$work/sample.src" "05-select-source"
press "$main" F3
for _ in $(seq 100); do [ "$(wc -l < "$work/transcript")" -ge 25 ] && break; sleep 0.1; done
sleep 0.5
shot "06-upload-fast"
[ "$(wc -l < "$work/transcript")" -eq 25 ] || fail "the target received $(wc -l < "$work/transcript") lines, not 25"
[ "$(sed -n 25p "$work/transcript")" = ": word25  25 ;  " ] || fail "line 25 arrived as '$(sed -n 25p "$work/transcript")'"

press "$main" alt+f
sleep 0.3
press "$main" x
really=$(find_window "Really\\?") || fail "Alt+F, x did not ask"
sleep 0.3
shot "04-exit-question"
press "$really" Escape
gone "Really\\?" || fail "Cancel did not close the question"
sleep 0.3
kill -0 "$pelko_pid" 2>/dev/null || fail "Cancel ended Pelko"

press "$main" alt+f
sleep 0.3
press "$main" x
really=$(find_window "Really\\?") || fail "second exit question missing"
press "$really" Return
status=0
for _ in $(seq 100); do kill -0 "$pelko_pid" 2>/dev/null || break; sleep 0.1; done
wait "$pelko_pid" || status=$?
pelko_pid=""
[ "$status" -eq 0 ] || fail "Pelko ended with status $status"
echo "end-to-end: all steps passed; screenshots in $artifacts"
