#!/usr/bin/env bash
# Runs the demo from a copy of an install folder (default build/dist) with
# private pipe, lock and registry folders: starts Ombrix through the
# launcher, which finds a patch on the stand-in, installs it (its progress
# shows in the tray tip) and starts the main client with its windows: on
# the session's display, or on a private Xvfb (with a window manager and a notification area)
# when DISPLAY is unset. The demo user signs in through the login window
# with the keyboard (xdotool), and screenshots of what a user sees are
# written to the output folder ($OMBRIX_DEMO_OUT, default demo-output
# beside the install folder) and their paths printed. Then it shows the
# client's log, and stops everything in order on Ctrl-C (or after
# $OMBRIX_DEMO_SECONDS seconds; 8 when not run from a terminal).
#
# Stand-in services join through start_service, which keeps their pids so
# that they are stopped on the way out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=lib/desktop.sh
. "$root/scripts/lib/desktop.sh"
dist=$(cd "${1:-build/dist}" && pwd)
state=$(mktemp -d /tmp/ombrix-demo-XXXXXX)
export OMBRIX_PIPE_DIR=$state/pipes OMBRIX_LOCK_DIR=$state/locks OMBRIX_REGISTRY_DIR=$state/registry
# The launcher's reports go to the stand-in too; its tray icon and the
# update applier write what they do where the demo can show it.
export OMBRIX_DC_HOST=http://127.0.0.1:18080 OMBRIX_TRAY_RECORD=$state/tray.record
export OMBRIX_UPDATER_RECORD=$state/updater.record TMPDIR=$state/tmp
mkdir -p "$TMPDIR"
# The launcher patches the installation, so the demo runs a copy of it.
install=$state/install
mkdir -p "$install"
cp -a "$dist/." "$install/"
rm -rf "$install/Log"

if [ -n "${OMBRIX_DEMO_SECONDS:-}" ]; then
  seconds=$OMBRIX_DEMO_SECONDS
elif [ -t 0 ]; then
  seconds=0  # until Ctrl-C
else
  seconds=8
fi

services=()
start_service() {
  "$@" &
  services+=($!)
}

out=${OMBRIX_DEMO_OUT:-$(dirname "$dist")/demo-output}
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/*.png
# A build with the sanitizers: the web engine's own code trips their type
# check and keeps memory for the life of the process; both are its own.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-suppressions=$root/tests/client/ui_display/ubsan.supp:print_stacktrace=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/client/ui_display/lsan.supp}

host=""
# The pid of the process running exactly this program file (the launcher
# starts the client, so the client is not our child; OBHost.exe becomes
# its body OBHost.exe.bin, keeping its pid).
pid_of() {
  local p
  for p in /proc/[0-9]*; do
    if [ "$(readlink "$p/exe" 2>/dev/null)" = "$1" ]; then echo "${p#/proc/}"; return 0; fi
  done
  return 1
}
stop_host() {
  kill -TERM "$host" 2>/dev/null || true
  for _ in $(seq 100); do kill -0 "$host" 2>/dev/null || return 0; sleep 0.1; done
}
cleanup() {
  trap - INT TERM EXIT
  if [ -n "$host" ] && kill -0 "$host" 2>/dev/null; then stop_host; fi
  for pid in "${services[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${services[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$state"
}
trap cleanup EXIT
stop_requested=0
trap 'stop_requested=1' INT TERM

# The client appends to its log; remember where each file ends now.
logdir=$install/Log
declare -A log_seen=()
for f in "$logdir"/*.log; do [ -e "$f" ] && log_seen[$f]=$(stat -c %s "$f"); done
show_log() {
  for f in "$logdir"/*.log; do
    [ -e "$f" ] || continue
    local from=${log_seen[$f]:-0} size
    size=$(stat -c %s "$f")
    if [ "$size" -gt "$from" ]; then
      tail -c +"$((from + 1))" "$f" | grep -v '^$' | sed 's/^/  log| /' || true
      log_seen[$f]=$size
    fi
  done
}

echo "Ombrix demo: install folder $install (a copy of $dist), state in $state"

# The windows need a display: without one, a private Xvfb with a window manager and a
# notification area for the tray icon.
windows=1
for tool in xdotool import; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "No $tool: the windows are not driven and no screenshots are taken"
    windows=0
  fi
done
if [ -z "${DISPLAY:-}" ]; then
  if command -v Xvfb >/dev/null 2>&1; then
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$state/display" 2>/dev/null &
    services+=($!)
    for _ in $(seq 100); do [ -s "$state/display" ] && break; sleep 0.1; done
    if [ -s "$state/display" ]; then
      export DISPLAY=":$(cat "$state/display")"
      echo "No display: the windows go to a private Xvfb ($DISPLAY, 1280x800)"
      wm=$(start_window_manager)
      [ -n "$wm" ] && services+=("$wm")
      if command -v trayer >/dev/null 2>&1; then
        # (It says so when the display goes away first at the end.)
        trayer --edge top --align right --widthtype request --height 24 --transparent false \
          --SetDockType true 2>/dev/null &
        services+=($!)
      fi
    else
      echo "Xvfb did not start: the windows are kept in memory"
      windows=0
    fi
  else
    echo "No display and no Xvfb: the windows are kept in memory"
    windows=0
  fi
fi

# The web service stand-in on the address the demo edition names
# (GlobalConfig=http://127.0.0.1:18080/), with the demo user.
echo "Starting the web service stand-in on 127.0.0.1:18080"
start_service "$root/standin/web/run_demo_service.sh" "$state" 18080
for _ in $(seq 100); do
  [ -s "$state/web.port" ] && break
  kill -0 "${services[0]}" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$state/web.port" ]; then
  echo "The web stand-in did not come up (is port 18080 taken?)" >&2
  exit 1
fi
echo "Demo user: account demo, password ombrix2024 (a friend: buddy / buddy2024)"

# A patch on the stand-in's static side: the next edition library, a note
# and a few MB of data, served slowly enough to see the progress.
next_edition=$(dirname "$dist")/standin/edition-next/OBVerCustom.dll
if command -v 7z >/dev/null && [ -f "$next_edition" ]; then
  mkdir -p "$state/patch-src/data" "$state/web-data/m"
  cp "$next_edition" "$state/patch-src/OBVerCustom.dll.update"
  echo "Ombrix 2.3.110.01: the demo patch." > "$state/patch-src/patch-notes.txt"
  head -c 3000000 /dev/urandom > "$state/patch-src/data/welcome.bin"
  (cd "$state/patch-src" && 7z a -bd -bso0 -y "$state/web-data/m/patch.7z" .)
  printf '%s\n' '<?xml version="1.0" encoding="utf-8"?>' '<root>' \
    '  <key name="OB-DEMO" version="2.3.110.01">' '    <url name="http://127.0.0.1:18080/m/patch.7z"/>' \
    '  </key>' '</root>' > "$state/web-data/version.xml"
  curl -s -o /dev/null "http://127.0.0.1:18080/__control/fault?path=/m/patch.7z&mode=throttle&bytes_per_s=1000000"
  echo "The stand-in offers version 2.3.110.01 (a 3 MB patch, sent at 1 MB/s)"
else
  echo "No 7z or no next edition library: the stand-in offers no patch"
fi

echo "Starting Ombrix.exe, the launcher"
"$install/Ombrix.exe" &
launcher=$!
tray_seen=0
show_tray() {
  [ -f "$state/tray.record" ] || return 0
  local lines
  lines=$(wc -l < "$state/tray.record")
  if [ "$lines" -gt "$tray_seen" ]; then
    sed -n "$((tray_seen + 1)),${lines}p" "$state/tray.record" | grep -v '^icon ' | sed 's/^/  tray| /' || true
    tray_seen=$lines
  fi
}
while kill -0 "$launcher" 2>/dev/null; do show_tray; sleep 0.2; done
wait "$launcher" || true
show_tray
show_log
[ -f "$state/updater.record" ] && sed 's/^/  OBUpdateAplldr.exe| /' "$state/updater.record"
if cmp -s "$install/OBVerCustom.dll" "$next_edition"; then
  echo "The patch is installed: the edition library is now version 2.3.110.01"
fi
for _ in $(seq 100); do host=$(pid_of "$install/OBHost.exe.bin") && break; sleep 0.1; done
if [ -z "$host" ]; then
  echo "The launcher did not start OBHost.exe" >&2
  exit 1
fi
echo "The launcher started OBHost.exe --gui (pid $host)"

# What a user sees: the login window, signing in with the keyboard, the
# main window with the diary, the tray icon's menu.
visible() { visible_window "$host" "$1"; }
# Screenshots until two in a row are the same and not of one plain colour
# (a PNG of a few hundred bytes): the window is drawn.
shoot() {
  local png=$out/$1 previous="" now
  for _ in $(seq 40); do
    if ! import -window "$2" "$png" 2>/dev/null; then
      echo "  (no screenshot of $1)"
      return 0
    fi
    now=$(md5sum < "$png")
    [ "$now" = "$previous" ] && [ "$(stat -c %s "$png")" -gt 1000 ] && break
    previous=$now
    sleep 0.25
  done
  shots+=("$png")
}
shots=()
if [ "$windows" = 1 ]; then
  login_window=""
  for _ in $(seq 150); do
    login_window=$(visible OBLoginWnd)
    [ -n "$login_window" ] && break
    sleep 0.2
  done
  if [ -z "$login_window" ]; then
    echo "The login window did not appear" >&2
  else
    echo "The login window is up; the demo user signs in with the keyboard"
    # The keys go to the focused window: wait until the login window has
    # the focus (a desktop may give it a moment; then it is asked for).
    for _ in $(seq 25); do [ "$(xdotool getwindowfocus 2>/dev/null)" = "$login_window" ] && break; sleep 0.2; done
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$login_window" ] || xdotool windowfocus --sync "$login_window" || true
    shoot login-window.png "$login_window"
    type_sign_in demo ombrix2024
    main_window=""
    for _ in $(seq 100); do
      main_window=$(visible OBFrameWndCore)
      [ -n "$main_window" ] && [ -z "$(visible OBLoginWnd)" ] && break
      main_window=""
      sleep 0.2
    done
    if [ -z "$main_window" ]; then
      echo "The main window did not replace the login window" >&2
    else
      echo "Signed in: the main window replaced the login window"
      for _ in $(seq 100); do
        grep -q '"GetUserBlogList"' "$state/web-requests.log" 2>/dev/null && break
        sleep 0.1
      done
      shoot main-window.png "$main_window"
      shoot screen.png root
      if [ -n "$({ xdotool search --onlyvisible --class trayer 2>/dev/null || true; } | head -1)" ]; then
        menu=$(open_tray_menu "$host")
        if [ -n "$menu" ]; then
          shoot tray-menu.png root
          xdotool key Escape
        else
          echo "The tray icon's menu did not open" >&2
        fi
      fi
    fi
  fi
  if [ ${#shots[@]} -gt 0 ]; then
    echo "Screenshots of what a user sees:"
    printf '  %s\n' "${shots[@]}"
  fi
fi

# The road of an in-game post: the game simulator plays the in-game hook
# library on the client's game pipes (the demo edition's game id is
# "other"), signs the demo user in and posts a screenshot with a text; the
# blog entry is then read back from the web stand-in.
simulator=$(dirname "$dist")/standin/game-simulator
if [ -x "$simulator" ]; then
  for _ in $(seq 100); do
    [ -S "$OMBRIX_PIPE_DIR/ombrix.ipc.obdaemondll_1_other" ] && break
    sleep 0.1
  done
  shot=$state/screenshot.png
  if ! { command -v convert >/dev/null 2>&1 &&
         convert -size 360x90 xc:'#203040' -font DejaVu-Sans -fill white -pointsize 24 \
           -annotate +16+54 'Ombrix demo screenshot' "$shot" 2>/dev/null; }; then
    # Without ImageMagick (or its fonts), a plain picture.
    python3 - "$shot" <<'PY'
import struct, sys, zlib
w, h = 64, 16
rows = b"".join(b"\0" + bytes([0x20, 0x30, 0x40]) * w for _ in range(h))
chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
open(sys.argv[1], "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
                              + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
PY
  fi
  echo "A game attaches, signs the demo user in and posts a screenshot (game simulator):"
  # The script comes line by line through a pipe, so the main window can be
  # shown with the game's post before the game leaves (a game that leaves
  # takes the client with it while its "ExitWithGame" option is on).
  mkfifo "$state/game.in"
  "$simulator" --suffix other --timeout 15000 < "$state/game.in" > "$state/game.out" 2>&1 &
  game=$!
  exec 4>"$state/game.in"
  printf '%s\n' "attach other" "handshake" "login demo ombrix2024" "await LOGIN signed_in=1" \
    "post \"Hello from inside the game\" $shot" "await POSTBLOG result=1" >&4
  for _ in $(seq 200); do
    grep -q '^POSTBLOG' "$state/game.out" 2>/dev/null && break
    kill -0 "$game" 2>/dev/null || break
    sleep 0.1
  done
  if [ "$windows" = 1 ] && [ -n "${main_window:-}" ] && grep -q '^POSTBLOG result=1' "$state/game.out"; then
    for _ in $(seq 50); do
      grep -q '"/uploads/' "$state/web-requests.log" 2>/dev/null && break
      sleep 0.1
    done
    shots=()
    shoot main-window-after-post.png "$main_window"
  fi
  echo "detach" >&4
  exec 4>&-
  wait "$game" || echo "  the game simulator failed"
  sed 's/^/  game| /' "$state/game.out"
  if [ "$windows" = 1 ] && [ -n "${main_window:-}" ] && [ ${#shots[@]} -gt 0 ]; then
    echo "The main window with the game's post: ${shots[0]}"
  fi
  echo "The blog entry as the web stand-in stored it:"
  python3 - "$(cat "$state/web.port")" <<'PY' || echo "  (the stand-in could not be read)"
import json, sys, urllib.request
state = json.load(urllib.request.urlopen("http://127.0.0.1:%s/__control/state" % sys.argv[1], timeout=5))
for blog in state.get("blogs", []):
    for key in ("BlogId", "Content", "ContentImageUrl", "PostFrom", "GameId", "CreateTime"):
        print("  %-16s %s" % (key, blog.get(key, "")))
if not state.get("blogs"):
    print("  no blog entry")
PY
fi

if [ "$seconds" -gt 0 ]; then
  echo "It runs for $seconds seconds (Ctrl-C stops it sooner)."
else
  echo "It runs until Ctrl-C."
fi
started=$SECONDS
while kill -0 "$host" 2>/dev/null; do
  show_log
  if [ "$stop_requested" = 1 ] || { [ "$seconds" -gt 0 ] && [ $((SECONDS - started)) -ge "$seconds" ]; }; then
    echo "Stopping OBHost.exe (SIGTERM)"
    stop_host
    break
  fi
  sleep 0.5
done
status=0
host=""
show_log
echo "OBHost.exe ended"
if [ -f "$state/web-requests.log" ]; then
  echo "What the client asked of the web stand-in:"
  python3 - "$state/web-requests.log" <<'PY'
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    r = json.loads(line)
    print("  %s %s %s" % (r.get("method", ""), r.get("path", ""), r.get("command", "")))
PY
fi
[ -f "$install/gsc" ] && echo "Server configuration downloaded to $install/gsc"
if [ -f "$OMBRIX_REGISTRY_DIR/HKCU.xml" ]; then
  echo "Registry values it wrote (HKCU):"
  grep -o 'name="[A-Za-z]*" type="REG_[A-Z]*" data="[^"]*"' "$OMBRIX_REGISTRY_DIR/HKCU.xml" | sed 's/^/  /'
fi
exit "$status"
