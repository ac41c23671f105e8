#!/usr/bin/env bash
# Exec-to-exit of a one-line headless upload to the target simulator, against `pelko --version`,
# over RUNS runs each, one after the other in turns; prints each median and their ratio. The port
# is named on the command line, so the upload looks through no sysfs listing.
#   usage: bench/compare/startup_compare.sh PELKO ZEMRA_SIM [RUNS]
set -euo pipefail
pelko="$(realpath "$1")"
simulator="$(realpath "$2")"
runs="${3:-200}"
work="$(mktemp -d /tmp/pelko-startup.XXXXXX)"
trap 'kill $(jobs -p) 2>/dev/null || true; wait; rm -rf "$work"' EXIT
cd "$work"
export PELKO_LOCK_DIR="$work" XDG_CONFIG_HOME="$work"
"$simulator" > sim.out 2>&1 &
for _ in $(seq 100); do grep -q '^PTY ' sim.out 2>/dev/null && break; sleep 0.05; done
pty=$(sed -n 's/^PTY //p' sim.out | head -n1)
[ -n "$pty" ] || { echo "no simulator pty: $(cat sim.out)" >&2; exit 1; }
printf 'one\r\n' > one.src
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
ns() { local t0 t1; t0=$(date +%s%N); "$@" > /dev/null 2>&1 < /dev/null; t1=$(date +%s%N); echo $((t1 - t0)); }
: > version.ns; : > upload.ns
for _ in $(seq "$runs"); do
  ns "$pelko" --version >> version.ns
  ns "$pelko" --upload one.src "$pty" >> upload.ns
done
v=$(median < version.ns); u=$(median < upload.ns)
awk -v v="$v" -v u="$u" 'BEGIN { printf "--version %.2f ms, one-line upload %.2f ms, ratio %.2f\n", v / 1e6, u / 1e6, u / v }'
