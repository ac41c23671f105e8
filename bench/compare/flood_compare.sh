#!/usr/bin/env bash
# What receiving a flood of text through a pty costs in CPU: the real Pelko under Xvfb (Pelko
# alone, and with Xvfb, its display server), and picocom inside a detached tmux session (picocom
# alone, and with the tmux server) when both are installed. Each figure is the median of RUNS
# runs, in CPU seconds for the whole flood; the flood is MiB mebibytes of 78-character lines.
#   usage: bench/compare/flood_compare.sh PELKO [MiB] [RUNS]
# Not part of the tests: it needs Xvfb, python3 and, for the comparison, picocom and tmux.
set -euo pipefail
pelko="$(realpath "$1")"
mib="${2:-8}"
runs="${3:-5}"
here="$(dirname "$(realpath "$0")")"
bytes=$((mib * 1024 * 1024))
hz=$(getconf CLK_TCK)
work="$(mktemp -d /tmp/pelko-flood.XXXXXX)"
chmod 700 "$work"
export XDG_RUNTIME_DIR="$work"
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  tmux -L "pelko-flood-$$" kill-server 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
secs() { awk -v t="$1" -v hz="$hz" 'BEGIN { printf "%.2f", t / hz }'; }
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

# Starts the pty peer; sets slave and the PEER coprocess.
start_peer() {
  coproc PEER { exec python3 -u "$here/flood_peer.py" "$bytes"; }
  read -r slave <&"${PEER[0]}"
}
# Lets the flood go, waits until the receiver has read it all and the last paint is done.
flood() {
  echo go >&"${PEER[1]}"
  local answer
  read -r answer <&"${PEER[0]}"
  sleep 0.3
}
end_peer() {
  local p="$PEER_PID"
  echo end >&"${PEER[1]}"
  wait "$p" 2>/dev/null || true
}

Xvfb -displayfd 4 -screen 0 1024x768x24 -nolisten tcp 4>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
display=":$(head -n1 "$work/display")"

pelko_own=""
pelko_all=""
for _ in $(seq "$runs"); do
  start_peer
  (cd "$work" && DISPLAY="$display" QT_QPA_PLATFORM=xcb PELKO_LOCK_DIR="$work" \
    exec "$pelko" --com1="$slave") >"$work/pelko.log" 2>&1 &
  pid=$!
  sleep 2 # the window is up and COM1 connected
  p0=$(ticks "$pid"); x0=$(ticks "$xvfb")
  flood
  p1=$(ticks "$pid"); x1=$(ticks "$xvfb")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  end_peer
  pelko_own+=" $(secs $((p1 - p0)))"
  pelko_all+=" $(secs $((p1 - p0 + x1 - x0)))"
done
echo "flood: $mib MiB, medians of $runs runs, CPU seconds"
printf '%-22s %8s %20s\n' "" "receiver" "with display server"
printf '%-22s %8s %20s\n' "Pelko (Xvfb)" "$(echo "$pelko_own" | median)" "$(echo "$pelko_all" | median)"
echo "  runs: pelko$pelko_own / with Xvfb$pelko_all" >&2

if command -v picocom >/dev/null && command -v tmux >/dev/null; then
  pico_own=""
  pico_all=""
  sock="pelko-flood-$$"
  for _ in $(seq "$runs"); do
    start_peer
    tmux -L "$sock" -f /dev/null new-session -d -x 80 -y 25 \
      "picocom --quiet --noreset --nolock --baud 115200 $slave"
    sleep 1
    server=$(tmux -L "$sock" display-message -p '#{pid}')
    pico=$(tmux -L "$sock" list-panes -F '#{pane_pid}')
    c0=$(ticks "$pico"); s0=$(ticks "$server")
    flood
    c1=$(ticks "$pico"); s1=$(ticks "$server")
    tmux -L "$sock" kill-server
    end_peer
    pico_own+=" $(secs $((c1 - c0)))"
    pico_all+=" $(secs $((c1 - c0 + s1 - s0)))"
  done
  printf '%-22s %8s %20s\n' "picocom (tmux)" "$(echo "$pico_own" | median)" \
    "$(echo "$pico_all" | median)"
  echo "  runs: picocom$pico_own / with tmux$pico_all" >&2
fi
