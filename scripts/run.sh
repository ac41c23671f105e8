#!/usr/bin/env bash
# Installs what Pelko needs, builds it and starts it. Arguments go to the program.
# With no port option (--com1..--com4, --telnet) it starts a demo session: the target simulator
# on a pty as COM1 (rejecting the word "oops"), Pelko in a working folder of its own
# (build/demo, where PELKO.SET is kept) holding the sample sources of examples/. The simulator
# stops when Pelko ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
# PELKO_BUILD_DIR names a finished build folder to run from instead (the tests do): then nothing
# is installed or built, and PELKO_DEMO_DIR may move the demo's working folder.
build="${PELKO_BUILD_DIR:-}"
if [ -z "$build" ]; then
  bash scripts/deps.sh
  cmake --preset release >/dev/null
  cmake --build --preset release -j "${PELKO_JOBS:-2}" --target pelko zemra_sim
  build="$root/build/release"
fi
pelko="$build/qt/pelko"

window=1
port=0
for arg in "$@"; do
  case "$arg" in
    --upload | --dry-run | --help | -h) window=0 ;;
    --com[1-4] | --com[1-4]=* | --telnet | --telnet=*) port=1 ;;
  esac
done
if [ "$window" -eq 1 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display for Pelko's window; without one, upload from the command line:" \
    "$pelko --upload FILE --com1=DEVICE (--help lists every option)." >&2
  exit 1
fi
if [ "$window" -eq 0 ] || [ "$port" -eq 1 ]; then
  exec "$pelko" "$@"
fi

demo="${PELKO_DEMO_DIR:-$root/build/demo}"
mkdir -p "$demo"
cp examples/*.txt "$demo/"
"$build/tools/zemra_sim" --pty --reject-word oops --line-delay 5 \
  > "$demo/simulator.out" 2> "$demo/simulator.log" &
sim=$!
echo "$sim" > "$demo/simulator.pid"
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
pty=""
for _ in $(seq 100); do
  pty=$(sed -n 's/^PTY //p' "$demo/simulator.out" 2>/dev/null | head -n1)
  [ -n "$pty" ] && break
  sleep 0.05
done
[ -n "$pty" ] || { echo "The target simulator did not start: $(cat "$demo/simulator.log")" >&2; exit 1; }
echo "Demo: COM1 is the target simulator on $pty; F2 selects $demo/demo.txt, F3 uploads it."
cd "$demo"
"$pelko" --com1="$pty" "$@"
