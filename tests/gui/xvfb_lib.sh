# Shared by the Xvfb runs: a private X server, screenshots, and finding and driving windows.
# The caller sets `artifacts` first; this sets `work` (the current folder from here on) and
# DISPLAY, and ends the server, Pelko and the simulator when the script exits.
work="$(mktemp -d /tmp/pelko-xvfb.XXXXXX)"
chmod 700 "$work"
export XDG_RUNTIME_DIR="$work"
export QT_QPA_PLATFORM=xcb
# Lock files in a folder of the run's own, never the system's.
export PELKO_LOCK_DIR="$work/locks"
mkdir -p "$PELKO_LOCK_DIR"
cd "$work"

Xvfb -displayfd 4 -screen 0 1024x768x24 -nolisten tcp 4> "$work/display" 2> "$work/xvfb.log" &
xvfb=$!
pelko_pid=""
sim_pid=""
cleanup() {
  [ -n "$pelko_pid" ] && kill "$pelko_pid" 2>/dev/null || true
  [ -n "${demo_pid:-}" ] && kill "$demo_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"

fail() { echo "FAIL: $*" >&2; shot "failure"; cat "$work/pelko.log" "$work/xvfb.log" >&2 2>/dev/null || true; exit 1; }
shot() { import -window root "$artifacts/$1.png" 2>/dev/null || true; }
# The newest visible window whose title matches this pattern exactly, waiting up to 10 s.
find_window() {
  local name="$1" w=""
  for _ in $(seq 100); do
    w=$(xdotool search --onlyvisible --name "^${name}\$" 2>/dev/null | tail -n1 || true)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}
gone() {
  for _ in $(seq 50); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}
press() { # window, keys...
  local w="$1"; shift
  xdotool windowfocus --sync "$w" 2>/dev/null || xdotool windowfocus "$w"
  xdotool key --clearmodifiers "$@"
}

# F2 in the main window, then the path typed into the file dialog; a screenshot of the dialog
# when a name is given. Returns once the main window has the focus back.
select_source() { # main window, path, [screenshot name]
  press "$1" F2
  local dialog
  dialog=$(find_window "Select Source") || fail "F2 did not open the file dialog"
  sleep 0.5
  [ -n "${3:-}" ] && shot "$3"
  xdotool windowfocus --sync "$dialog" 2>/dev/null || true
  xdotool type --delay 2 "$2"
  press "$dialog" Return
  gone "Select Source" || fail "the file dialog did not close"
  sleep 0.5 # the main window is active again before its key comes
}
