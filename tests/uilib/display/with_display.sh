#!/bin/sh
# Runs a display test program with an X display: the session's own when
# there is one, otherwise a private Xvfb server with a light window manager
# (openbox), so that windows are managed as on a desktop: mapped, focused,
# stacked and closed by the window manager. Listing the tests needs no
# display. Exit code 77 tells CTest the test was skipped.
for arg in "$@"; do
  case "$arg" in --gtest_list_tests) exec "$@" ;; esac
done
if [ -n "$DISPLAY" ] && command -v xdpyinfo >/dev/null 2>&1 && xdpyinfo >/dev/null 2>&1; then
  exec "$@"
fi
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "no X display and no Xvfb: display test skipped" >&2
  exit 77
fi
for tool in openbox xprop; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool is missing (scripts/install-deps.sh installs it): display test skipped" >&2
    exit 77
  fi
done

state=$(mktemp -d "${TMPDIR:-/tmp}/ombrix-display.XXXXXX") || exit 1
xvfb_pid=""
wm_pid=""
test_pid=""
cleanup() {
  [ -n "$test_pid" ] && kill "$test_pid" 2>/dev/null && wait "$test_pid" 2>/dev/null
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$wm_pid" ] && wait "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$state"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# Xvfb picks a free display number and writes it once it accepts clients.
mkfifo "$state/displayfd"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$state/displayfd" 2>"$state/xvfb.log" &
xvfb_pid=$!
number=$(timeout 20 head -n 1 "$state/displayfd")
if [ -z "$number" ]; then
  echo "Xvfb did not start:" >&2
  cat "$state/xvfb.log" >&2
  exit 1
fi
DISPLAY=":$number"
export DISPLAY

# The window manager is ready once it names its check window on the root
# window; xprop -spy prints the root's properties and then every change
# (the whole root: a fresh server does not know the property's name yet).
mkfifo "$state/wmcheck"
xprop -root -spy >"$state/wmcheck" 2>/dev/null &
spy_pid=$!
openbox --sm-disable >"$state/openbox.log" 2>&1 &
wm_pid=$!
timeout 20 grep -q -m 1 "^_NET_SUPPORTING_WM_CHECK(WINDOW)" <"$state/wmcheck"
ready=$?
kill "$spy_pid" 2>/dev/null
wait "$spy_pid" 2>/dev/null
if [ $ready -ne 0 ]; then
  echo "the window manager did not come up:" >&2
  cat "$state/openbox.log" >&2
  exit 1
fi

# In the background, so that a stop request reaches this script at once
# and the cleanup ends the test program with the servers.
"$@" &
test_pid=$!
wait "$test_pid"
status=$?
test_pid=""
exit $status
