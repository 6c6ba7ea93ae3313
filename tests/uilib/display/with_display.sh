#!/bin/sh
# Runs a display test program with an X display: the session's own when
# there is one, otherwise a private Xvfb server. Listing the tests needs
# no display. Exit code 77 tells CTest the test was skipped.
for arg in "$@"; do
  case "$arg" in --gtest_list_tests) exec "$@" ;; esac
done
if [ -n "$DISPLAY" ] && command -v xdpyinfo >/dev/null 2>&1 && xdpyinfo >/dev/null 2>&1; then
  exec "$@"
fi
if command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$@"
fi
echo "no X display and no xvfb-run: display test skipped" >&2
exit 77
