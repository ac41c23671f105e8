#!/usr/bin/env bash
# The Debian package: built with cpack from a finished build folder, checked with lintian (where
# it is installed), unpacked with dpkg-deb into a folder of its own and used from there: --help,
# the manual pages, a headless upload to the packaged simulator. Nothing is installed.
# With --install it is installed with dpkg instead, used from /usr and removed again; that needs
# root and no pelko package installed already (skipped, 77, otherwise).
#   deb_test.sh BUILD_DIR [--install]
set -euo pipefail
build="$(realpath "$1")"
install="${2:-}"
if [ "$install" = --install ]; then
  [ "$(id -u)" -eq 0 ] || { echo "SKIP: dpkg needs root"; exit 77; }
  if dpkg-query -W -f='${Status}' pelko 2>/dev/null | grep -q "install ok installed"; then
    echo "SKIP: a pelko package is installed already"; exit 77
  fi
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
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" > "$work/lintian.out" 2>&1 ||
    { cat "$work/lintian.out" >&2; fail "lintian found errors or warnings"; }
else
  echo "lintian is not installed; the package is not checked with it"
fi

if [ "$install" = --install ]; then
  dpkg -i "$deb" >/dev/null || fail "dpkg -i failed"
  installed=1
  root=""
else
  dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x failed"
  root="$work/root"
fi
for f in /usr/bin/pelko /usr/bin/zemra_sim /usr/share/man/man1/pelko.1.gz \
         /usr/share/man/man1/zemra_sim.1.gz /usr/share/doc/pelko/copyright \
         /usr/share/doc/pelko/changelog.gz /usr/share/applications/pelko.desktop \
         /usr/share/icons/hicolor/32x32/apps/pelko.png; do
  [ -e "$root$f" ] || fail "the package has no $f"
done
# Read whole first: grep -q leaves at its first match, and a help text longer than a pipe's
# first write would end Pelko by SIGPIPE.
help="$("$root/usr/bin/pelko" --help)" || fail "--help ended with $?"
grep -q -- "--upload FILE" <<<"$help" || fail "--help does not list --upload"
if command -v man >/dev/null; then
  for page in pelko zemra_sim; do
    man -l "$root/usr/share/man/man1/$page.1.gz" >/dev/null 2>&1 ||
      fail "the manual page of $page does not format"
  done
fi

cd "$work"
"$root/usr/bin/zemra_sim" --pty > sim.out 2> sim.log &
sim_pid=$!
for _ in $(seq 100); do grep -q '^PTY ' sim.out 2>/dev/null && break; sleep 0.05; done
pty=$(sed -n 's/^PTY //p' sim.out | head -n1)
[ -n "$pty" ] || fail "the packaged simulator gave no pty"
printf 'first\r\nsecond\r\n' > demo.src
out=$("$root/usr/bin/pelko" --upload demo.src --com1="$pty" < /dev/null) ||
  fail "upload ended with $?"
[ "$out" = "Loading . Ready" ] || fail "upload printed '$out'"

if [ -n "$installed" ]; then
  dpkg -r pelko >/dev/null || fail "dpkg -r failed"
  installed=""
  [ ! -e /usr/bin/pelko ] || fail "/usr/bin/pelko is still there"
  echo "package: built, installed, used and removed"
else
  echo "package: built, unpacked and used"
fi
