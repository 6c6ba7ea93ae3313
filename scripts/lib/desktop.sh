# What the demo and the idle-cost script do on the client's windows as a
# user would, through the X server (xdotool). Sourced; needs DISPLAY.

# The first visible window of process $1 whose class name is $2.
visible_window() {
  { xdotool search --all --onlyvisible --pid "$1" --classname "^$2\$" 2>/dev/null || true; } | head -1
}

# Waits (up to $2 tenths of a second) until process $1 shows window class
# $3; prints its id, nothing when it did not come.
wait_window() {
  local w=""
  for _ in $(seq "$2"); do
    w=$(visible_window "$1" "$3")
    [ -n "$w" ] && break
    sleep 0.1
  done
  echo "$w"
}

# Types the account, Tab, the password and Enter into the focused window.
type_sign_in() {
  xdotool type --delay 40 "$1"
  xdotool key Tab
  xdotool type --delay 40 "$2"
  xdotool key Return
}

# Right-clicks the notification area and waits for process $1's menu (a
# window of its own class taller than a tray icon); prints its id, nothing
# when there is no notification area or no menu came.
open_tray_menu() {
  local panel menu="" w X Y WIDTH HEIGHT
  panel=$({ xdotool search --onlyvisible --class trayer 2>/dev/null || true; } | head -1)
  [ -n "$panel" ] || return 0
  eval "$(xdotool getwindowgeometry --shell "$panel")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
  for _ in $(seq 50); do
    for w in $(xdotool search --all --onlyvisible --pid "$1" --classname '^OBHost.exe$' 2>/dev/null || true); do
      eval "$(xdotool getwindowgeometry --shell "$w")"
      [ "$HEIGHT" -gt 60 ] && menu=$w
    done
    [ -n "$menu" ] && break
    sleep 0.1
  done
  echo "$menu"
}

# Starts a light window manager (openbox) on $DISPLAY, so that the windows
# are mapped, focused, stacked and closed as on a desktop, and waits until
# it names its check window on the root window; prints its pid, nothing
# when none is installed or it did not come up.
start_window_manager() {
  command -v openbox >/dev/null 2>&1 && command -v xprop >/dev/null 2>&1 || return 0
  openbox --sm-disable >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 100); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
      echo "$pid"
      return 0
    fi
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
}
