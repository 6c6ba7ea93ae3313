#!/usr/bin/env bash
# What the signed-in client costs while nobody looks at it: starts OBHost.exe
# from a copy of an install folder (default build-release/dist, else
# build/dist; a sanitizer build costs several times more) against the web
# stand-in, on a private Xvfb, signs the demo user in through the login
# window with the keyboard, hides the main window through the tray menu,
# lets it settle, then measures for a while (default 60 s):
#   - CPU time of the client, and of the client with its web engine
#     processes, as a share of one core (target: under 1%);
#   - the largest resident memory of the client, and of the client with its
#     web engine processes (target: under 150 MB with the browser).
#
#   scripts/idle-cost.sh [install folder] [seconds]
#
# Needs Xvfb, xdotool, trayer and python3. Exits 0 when both targets hold,
# 1 when one is missed, 2 when the measurement could not be made.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=lib/desktop.sh
. "$root/scripts/lib/desktop.sh"
if [ -n "${1:-}" ]; then
  dist=$(cd "$1" && pwd)
elif [ -x "$root/build-release/dist/OBHost.exe" ]; then
  dist=$root/build-release/dist
else
  dist=$root/build/dist
fi
seconds=${2:-60}
settle=5

for tool in Xvfb xdotool trayer python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "idle-cost: $tool is missing" >&2; exit 2; }
done

state=$(mktemp -d /tmp/ombrix-idle-XXXXXX)
export OMBRIX_PIPE_DIR=$state/pipes OMBRIX_LOCK_DIR=$state/locks OMBRIX_REGISTRY_DIR=$state/registry
export XDG_CONFIG_HOME=$state/config HOME=$state/home TMPDIR=$state/tmp LANG=${LANG:-C.UTF-8}
# The web engine under the sanitizers (when the folder is such a build).
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-suppressions=$root/tests/client/ui_display/ubsan.supp}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/client/ui_display/lsan.supp}
mkdir -p "$HOME" "$TMPDIR"
install=$state/install
mkdir -p "$install"
cp -a "$dist/." "$install/"
rm -rf "$install/Log"

pids=()
host=""
cleanup() {
  trap - INT TERM EXIT
  if [ -n "$host" ] && kill -0 "$host" 2>/dev/null; then
    kill -TERM "$host" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$host" 2>/dev/null || break; sleep 0.1; done
  fi
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$state"
}
trap cleanup EXIT INT TERM
fail() {
  echo "idle-cost: $*" >&2
  exit 2
}

python3 "$root/standin/web/web_standin.py" --port 0 --demo-user --demo-blog --data-dir "$state/web-data" \
  --request-log "$state/web-requests.log" --port-file "$state/web.port" >"$state/web.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$state/web.port" ] && break; sleep 0.1; done
[ -s "$state/web.port" ] || fail "the web stand-in did not start"
sed -i "s#^GlobalConfig=.*#GlobalConfig=http://127.0.0.1:$(cat "$state/web.port")/#" "$install/OBVerCustom.ini"

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$state/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$state/display" ] && break; sleep 0.1; done
[ -s "$state/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$state/display")"
wm=$(start_window_manager)
[ -n "$wm" ] && pids+=("$wm")
trayer --edge top --align right --widthtype request --height 24 --transparent false --SetDockType true 2>/dev/null &
pids+=($!)

"$install/OBHost.exe" --gui 2>"$state/host.err" &
host=$!

visible() { visible_window "$host" "$1"; }
login=""
for _ in $(seq 150); do
  login=$(visible OBLoginWnd)
  [ -n "$login" ] && [ "$(xdotool getwindowfocus 2>/dev/null)" = "$login" ] && break
  sleep 0.2
done
[ -n "$login" ] || fail "no login window"
type_sign_in demo ombrix2024
frame=$(wait_window "$host" 300 OBFrameWndCore)
[ -n "$frame" ] || fail "the main window did not come"
for _ in $(seq 100); do grep -q '"GetUserBlogList"' "$state/web-requests.log" && break; sleep 0.1; done

# Hidden as a user hides it: the tray menu's second entry.
menu=$(open_tray_menu "$host")
[ -n "$menu" ] || fail "the tray menu did not open"
eval "$(xdotool getwindowgeometry --shell "$menu")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
xdotool mousemove 10 790
for _ in $(seq 50); do [ -z "$(visible OBFrameWndCore)" ] && break; sleep 0.1; done
[ -z "$(visible OBFrameWndCore)" ] || fail "the main window did not hide"
[ -z "$(visible OBLoginWnd)" ] || fail "the login window is showing"

echo "Signed in, windows hidden; settling ${settle}s, then measuring ${seconds}s (client pid $host, $dist)"
sleep "$settle"
python3 - "$host" "$seconds" <<'PY'
import os, sys, time

host, seconds = int(sys.argv[1]), int(sys.argv[2])
tick = os.sysconf("SC_CLK_TCK")

def children():
    kids = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        kids.setdefault(int(fields[1]), []).append(int(name))
    family, todo = [], [host]
    while todo:
        pid = todo.pop()
        family.append(pid)
        todo.extend(kids.get(pid, []))
    return family

def cpu(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])
    except OSError:
        return 0

def rss(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return 0

family = children()
start_own, start_all = cpu(host), {p: cpu(p) for p in family}
peak_own = peak_all = 0
began = time.monotonic()
while time.monotonic() - began < seconds:
    family = children()
    for p in family:
        start_all.setdefault(p, 0)
    peak_own = max(peak_own, rss(host))
    peak_all = max(peak_all, sum(rss(p) for p in family))
    time.sleep(1)
elapsed = time.monotonic() - began
own = (cpu(host) - start_own) / tick / elapsed * 100
total = sum(cpu(p) - start_all.get(p, 0) for p in children()) / tick / elapsed * 100
mb = 1024 * 1024

def rollup(pid):
    values = {}
    try:
        with open("/proc/%d/smaps_rollup" % pid) as f:
            for line in f:
                parts = line.split()
                if len(parts) >= 2 and parts[0].endswith(":") and parts[1].isdigit():
                    values[parts[0][:-1]] = int(parts[1]) * 1024
    except OSError:
        pass
    return values

# Pages shared between the processes (the libraries, the fonts) count once
# in each RSS; the proportional set size shares them out.
print("%-24s %10s %10s %10s" % ("process", "RSS MB", "PSS MB", "private MB"))
pss_all = 0
for p in children():
    try:
        with open("/proc/%d/comm" % p) as f:
            name = f.read().strip()
    except OSError:
        continue
    r = rollup(p)
    private = r.get("Private_Clean", 0) + r.get("Private_Dirty", 0)
    pss_all += r.get("Pss", 0)
    print("%-24s %10.1f %10.1f %10.1f" % (name, r.get("Rss", 0) / mb, r.get("Pss", 0) / mb, private / mb))
print("processes: the client and %d of its web engine" % (len(family) - 1))
print("PSS of the client with the web engine now: %.1f MB" % (pss_all / mb))
print("CPU of one core over %.0f s: client %.2f%%, with the web engine %.2f%% (target < 1%%)" % (elapsed, own, total))
print("largest RSS: client %.1f MB, with the web engine %.1f MB (target < 150 MB)" % (peak_own / mb, peak_all / mb))
ok = total < 1.0 and peak_all < 150 * mb
print("targets met" if ok else "a target is missed")
sys.exit(0 if ok else 1)
PY
