#!/usr/bin/env bash
# 50 uploads through ser2net (and one after --reset), each on a fresh connection, of a 3-line file to the target
# simulator behind a socat pty pair: each must end with status 0 and all its lines reach the
# target, in order (none lost to a purge sent after it).
#   ser2net_uploads_test.sh PELKO ZEMRA_SIM
set -euo pipefail
pelko="$(realpath "$1")"
simulator="$(realpath "$2")"
work="$(mktemp -d /tmp/pelko-ser2net.XXXXXX)"
trap 'kill $(jobs -p) 2>/dev/null || true; wait; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
waitfor() { for _ in $(seq 200); do eval "$1" && return 0; sleep 0.05; done; return 1; }
listening() { grep -q "0100007F:$(printf '%04X' "$1") 00000000:0000 0A" /proc/net/tcp; }
cd "$work"
export PELKO_LOCK_DIR="$work" XDG_CONFIG_HOME="$work"

socat pty,raw,echo=0,link=ttyA pty,raw,echo=0,link=ttyB 2> socat.log &
waitfor '[ -e ttyA ] && [ -e ttyB ]' || fail "socat: $(cat socat.log)"
"$simulator" --device ttyB --line-delay 5 --transcript transcript > sim.out 2>&1 &
waitfor 'grep -q "^DEVICE " sim.out' || fail "simulator: $(cat sim.out)"
for _ in 1 2 3 4 5; do # a free loopback port; another if it was taken meanwhile
  port=$((20000 + RANDOM % 40000))
  listening "$port" && continue
  printf 'connection: &p\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%s\n  options:\n    kickolduser: true\n  connector: serialdev,%s,9600n81,local\n' \
    "$port" "$work/ttyA" > ser2net.yaml
  ser2net -n -d -u -c "$work/ser2net.yaml" -P "$work/ser2net.pid" > ser2net.log 2>&1 &
  waitfor "listening $port" && break
  kill $! 2>/dev/null || true; port=""
done
[ -n "$port" ] || fail "ser2net: $(cat ser2net.log)"

printf 'one\r\ntwo\r\nthree\r\n' > three.src
for i in $(seq 50); do
  "$pelko" --upload three.src --port TELNET --telnet="127.0.0.1:$port" > out 2> err < /dev/null ||
    fail "upload $i ended with $?: $(cat err)"
  printf 'one\ntwo\nthree\n' >> expected
  cmp -s expected transcript || fail "after upload $i the target has: $(tr '\n' ' ' < transcript)"
done
# A reset first goes to the server as line commands, and the upload follows it whole.
"$pelko" --upload three.src --reset --reset-wait 50 --port TELNET --telnet="127.0.0.1:$port" \
  > out 2> err < /dev/null || fail "an upload after --reset ended with $?: $(cat err)"
printf 'one\ntwo\nthree\n' >> expected
cmp -s expected transcript || fail "after --reset the target has: $(tr '\n' ' ' < transcript)"
echo "ser2net: 51 uploads, every line at the target"
