#!/usr/bin/env bash
# The README's run command as a newcomer uses it, under Xvfb: scripts/run.sh with no arguments
# opens Pelko connected to the simulator; F2 picks the sample, F3 uploads it through its pause;
# Alt+F, x ends Pelko, and the simulator goes with it. run.sh is pointed at the finished build
# folder, so it installs and builds nothing, and its demo folder is one of the test's own.
#   demo_test.sh SOURCE_DIR BUILD_DIR ARTIFACTS
set -euo pipefail
root="$(realpath "$1")"
build="$(realpath "$2")"
artifacts="$(realpath -m "$3")"
mkdir -p "$artifacts"
source "$(dirname "$0")/xvfb_lib.sh"

demo="$work/demo"
PELKO_BUILD_DIR="$build" PELKO_DEMO_DIR="$demo" bash "$root/scripts/run.sh" \
  > "$work/pelko.log" 2>&1 &
demo_pid=$!
main=$(find_window "Pelko v3.1") || fail "the demo opened no window"
sim=$(cat "$demo/simulator.pid")
kill -0 "$sim" 2>/dev/null || fail "the simulator is not running"
sleep 0.5
select_source "$main" "$demo/demo.txt"
press "$main" F3
box=$(find_window "Upload") || fail "the sample's pause did not ask"
sleep 0.3
shot "demo-01-pause"
press "$box" Return
gone "Upload" || fail "the pause box did not close"
sleep 1.5
shot "demo-02-uploaded"

press "$main" alt+f
sleep 0.3
press "$main" x
really=$(find_window "Really\\?") || fail "Alt+F, x did not ask"
press "$really" Return
for _ in $(seq 100); do kill -0 "$demo_pid" 2>/dev/null || break; sleep 0.1; done
status=0
wait "$demo_pid" || status=$?
demo_pid=""
[ "$status" -eq 0 ] || fail "the demo ended with status $status"
for _ in $(seq 20); do kill -0 "$sim" 2>/dev/null || break; sleep 0.1; done
kill -0 "$sim" 2>/dev/null && fail "the simulator is still running"
echo "demo: started connected, uploaded the sample, ended cleanly"
