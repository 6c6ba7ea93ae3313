#!/usr/bin/env bash
# A short video call between two main clients on this machine: starts the
# web service stand-in and the rendezvous stand-in on free loopback ports,
# two private copies of an install folder (default build/dist), each
# running OBHost.exe with its own pipe, lock and registry folders, and one
# simulated game per client. The game of "demo" invites "buddy", buddy's
# game accepts, frames flow from one game to the other, and buddy hangs up.
# Every message each game receives is printed (frames as their byte count).
set -euo pipefail
# The two clients of this demo talk over video chat; their windows are not
# part of it.
export OMBRIX_UI=${OMBRIX_UI:-none}
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$(cd "${1:-build/dist}" && pwd)
simulator=$(dirname "$dist")/standin/game-simulator
if [ ! -x "$simulator" ]; then
  echo "No game simulator beside $dist (build the target game-simulator)" >&2
  exit 1
fi
state=$(mktemp -d /tmp/ombrix-video-demo-XXXXXX)
pids=()
cleanup() {
  trap - INT TERM EXIT
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$state"
}
trap cleanup EXIT INT TERM

# Waits up to 10 s for a file to be written by a service just started.
wait_file() {
  for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done
  echo "$2 did not come up" >&2
  exit 1
}

python3 "$root/standin/rendezvous/rendezvous.py" --ready-file "$state/rendezvous.json" &
pids+=($!)
wait_file "$state/rendezvous.json" "The rendezvous stand-in"
ice_port=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["ice"])' "$state/rendezvous.json")
control_port=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["control"])' "$state/rendezvous.json")

python3 "$root/standin/web/web_standin.py" --port 0 --port-file "$state/web.port" --demo-user \
  --data-dir "$state/web-data" --ice-server "127.0.0.1:$ice_port" &
pids+=($!)
wait_file "$state/web.port" "The web stand-in"
web="127.0.0.1:$(cat "$state/web.port")"
echo "Web stand-in on $web, rendezvous stand-in on 127.0.0.1:$ice_port"

# One client per player, each in its own copy with its own state.
start_client() {
  local who=$1 dir=$state/$1
  mkdir -p "$dir/install" "$dir/pipes" "$dir/locks" "$dir/registry" "$dir/config" "$dir/home"
  cp -a "$dist/." "$dir/install/"
  rm -rf "$dir/install/Log"
  printf '<Node>\n<ClientInterfaceServer><Rule><Server>%s</Server></Rule></ClientInterfaceServer>\n<ImageStorageServer><Rule><Server>%s</Server></Rule></ImageStorageServer>\n<DCServer><Rule><Server>%s</Server></Rule></DCServer>\n<IceServer><Rule><Server>127.0.0.1:%s</Server></Rule></IceServer>\n</Node>\n' \
    "$web" "$web" "$web" "$ice_port" > "$dir/install/gsc.test"
  # The clients outlive their games between the two steps below.
  sed -i 's/<ExitWithGame enable="1"/<ExitWithGame enable="0"/' "$dir/install/games/other.xml" 2>/dev/null || true
  OMBRIX_PIPE_DIR=$dir/pipes OMBRIX_LOCK_DIR=$dir/locks OMBRIX_REGISTRY_DIR=$dir/registry \
    XDG_CONFIG_HOME=$dir/config HOME=$dir/home OMBRIX_FONT_CHECK=present OMBRIX_STATIC_HOST="http://$web" \
    "$dir/install/OBHost.exe" --gui 2>"$dir/stderr" &
  pids+=($!)
  for _ in $(seq 150); do
    [ -S "$dir/pipes/ombrix.ipc.obdaemondll_1_other" ] && return 0
    sleep 0.1
  done
  echo "OBHost.exe of $who did not serve its game pipes" >&2
  exit 1
}
# Runs a game script against a player's client; its output is prefixed.
game() {
  local who=$1
  shift
  "$simulator" --pipe-dir "$state/$who/pipes" --suffix other --timeout 40000 -e "$*" 2>&1 | sed "s/^/  $who game| /"
}
echo "Starting two clients"
start_client demo
start_client buddy

echo "Buddy's game signs in and waits for a call"
game buddy "attach other; handshake; login buddy buddy2024; await LOGIN signed_in=1; await VIDEO_INVITE; \
send VIDEO_REPLY answer=0 invitation_id=demo-call; await VEDIO_STREAM; await VEDIO_STREAM; await VEDIO_STREAM; \
send VIDEO_STOP invitation_id=demo-call; detach" &
buddy_game=$!
echo "Demo's game signs in"
game demo "attach other; handshake; login demo ombrix2024; await LOGIN signed_in=1; detach"

# Both players must be logged in to the rendezvous server before the call.
python3 - "$control_port" <<'PY'
import json, socket, sys, time
deadline = time.time() + 20
while time.time() < deadline:
    with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5) as s:
        s.sendall(b"online\n")
        answer = json.loads(s.makefile().readline())
    if {"demo", "buddy"} <= set(answer.get("online", [])):
        sys.exit(0)
    time.sleep(0.2)
sys.exit("the players did not reach the rendezvous server")
PY

echo "Demo's game lists who is online and calls buddy with its video"
game demo "attach other; handshake; send FRIEND_ONLINE page_size=10 page=1; await FRIEND_ONLINE; \
send VIDEO_INVITE send_video=1 invitation_id=demo-call account=buddy; await VIDEO_REPLY accepted=1; \
await VIDEO_READY; video demo-call 320 240 90; await VIDEO_STOP; detach" || echo "  demo's game failed"
wait "$buddy_game" || echo "  buddy's game failed"
echo "The call is over; stopping the clients"
