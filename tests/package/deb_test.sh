#!/usr/bin/env bash
# The Debian package: built with cpack from the build folder, installed with dpkg, used from its
# installed paths (--help, the manual page, a headless upload to the installed simulator), and
# removed again. Needs root; skipped (77) otherwise, or when a pelko package is already there.
#   deb_test.sh BUILD_DIR
set -euo pipefail
build="$(realpath "$1")"
[ "$(id -u)" -eq 0 ] || { echo "SKIP: dpkg needs root"; exit 77; }
if dpkg-query -W -f='${Status}' pelko 2>/dev/null | grep -q "install ok installed"; then
  echo "SKIP: a pelko package is installed already"; exit 77
fi
work="$(mktemp -d /tmp/pelko-deb.XXXXXX)"
sim_pid=""
installed=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  [ -n "$installed" ] && dpkg -r pelko >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
# Lock files in a folder of the run's own, never the system's.
export PELKO_LOCK_DIR="$work/locks"
mkdir -p "$PELKO_LOCK_DIR"
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null) || fail "cpack failed"
deb=$(ls "$work"/pkg/pelko_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in *libqt6widgets6*) ;; *) fail "Depends lacks the Qt widgets: $depends";; esac
case "$depends" in *-dev*) fail "Depends names a development package: $depends";; esac

dpkg -i "$deb" >/dev/null || fail "dpkg -i failed"
installed=1
for f in /usr/bin/pelko /usr/bin/zemra_sim /usr/share/man/man1/pelko.1 \
         /usr/share/applications/pelko.desktop /usr/share/icons/hicolor/32x32/apps/pelko.png; do
  [ -e "$f" ] || fail "$f is not installed"
done
/usr/bin/pelko --help | grep -q -- "--upload FILE" || fail "--help does not list --upload"
if command -v man >/dev/null; then
  man -l /usr/share/man/man1/pelko.1 >/dev/null 2>&1 || fail "the manual page does not format"
fi

cd "$work"
/usr/bin/zemra_sim --pty > sim.out 2> sim.log &
sim_pid=$!
for _ in $(seq 100); do grep -q '^PTY ' sim.out 2>/dev/null && break; sleep 0.05; done
pty=$(sed -n 's/^PTY //p' sim.out | head -n1)
[ -n "$pty" ] || fail "the installed simulator gave no pty"
printf 'first\r\nsecond\r\n' > demo.src
out=$(/usr/bin/pelko --upload demo.src --com1="$pty" < /dev/null) || fail "upload ended with $?"
[ "$out" = "Loading . Ready" ] || fail "upload printed '$out'"

dpkg -r pelko >/dev/null || fail "dpkg -r failed"
installed=""
[ ! -e /usr/bin/pelko ] || fail "/usr/bin/pelko is still there"
echo "package: built, installed, used and removed"
