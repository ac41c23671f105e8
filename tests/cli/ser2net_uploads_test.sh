#!/usr/bin/env bash
# Uploads through ser2net as a script runs them: 50 fresh connections, each uploading a 3-line
# file to the target simulator behind a socat pty pair. Every upload must end with status 0 and
# every line must reach the target, in order: no line lost to a purge, none sent before the
# line settings.
#   ser2net_uploads_test.sh PELKO ZEMRA_SIM
set -euo pipefail
pelko="$(realpath "$1")"
simulator="$(realpath "$2")"
runs=50
work="$(mktemp -d /tmp/pelko-ser2net.XXXXXX)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v ser2net > /dev/null && command -v socat > /dev/null ||
  fail "ser2net and socat must be installed (scripts/deps.sh)"
cd "$work"
export PELKO_LOCK_DIR="$work/locks" XDG_CONFIG_HOME="$work/config"
mkdir -p "$PELKO_LOCK_DIR" "$XDG_CONFIG_HOME"
waitfor() { for _ in $(seq 200); do eval "$1" && return 0; sleep 0.05; done; return 1; }

socat pty,raw,echo=0,link="$work/ttyA" pty,raw,echo=0,link="$work/ttyB" 2> socat.log &
pids+=($!)
waitfor '[ -e ttyA ] && [ -e ttyB ]' || fail "socat gave no ptys: $(cat socat.log)"
"$simulator" --device "$work/ttyB" --line-delay 5 --transcript "$work/transcript" \
  > sim.out 2> sim.log &
pids+=($!)
waitfor 'grep -q "^DEVICE " sim.out' || fail "the simulator did not start: $(cat sim.log)"

# ser2net on a free loopback port: another is tried when the one picked is taken meanwhile.
listening() { grep -q "0100007F:$(printf '%04X' "$1") 00000000:0000 0A" /proc/net/tcp; }
port=""
for _ in 1 2 3 4 5; do
  try=$((20000 + RANDOM % 40000))
  listening "$try" && continue
  cat > ser2net.yaml <<YAML
connection: &p
  accepter: telnet(rfc2217),tcp,127.0.0.1,$try
  options:
    kickolduser: true
  connector: serialdev,$work/ttyA,9600n81,local
YAML
  ser2net -n -d -u -c "$work/ser2net.yaml" -P "$work/ser2net.pid" > ser2net.log 2>&1 &
  s2n=$!
  if waitfor "listening $try || ! kill -0 $s2n 2>/dev/null" && listening "$try"; then
    pids+=("$s2n"); port=$try; break
  fi
  kill "$s2n" 2>/dev/null || true; wait "$s2n" 2>/dev/null || true
done
[ -n "$port" ] || fail "ser2net did not come up: $(cat ser2net.log)"

printf 'one\r\ntwo\r\nthree\r\n' > three.src
: > expected
for i in $(seq "$runs"); do
  got=0
  "$pelko" --upload three.src --port TELNET --telnet="127.0.0.1:$port" --timeout 5 \
    > out 2> err < /dev/null || got=$?
  [ "$got" -eq 0 ] || fail "upload $i ended with $got: $(cat err)"
  printf 'one\ntwo\nthree\n' >> expected
  cmp -s expected transcript ||
    fail "after upload $i the target holds: $(tr '\n' ' ' < transcript)"
done
echo "ser2net: $runs uploads, every line at the target"
