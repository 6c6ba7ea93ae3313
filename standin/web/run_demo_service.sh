#!/usr/bin/env bash
# Starts the web stand-in for the demo: port 18080 (the address the demo
# edition's GlobalConfig names), the demo user and a friend, state kept in
# <state dir>/web-state.json. Prints the demo account and password, then
# serves in the foreground until it is stopped (run it with & to keep going).
#   run_demo_service.sh [state dir] [port]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=${1:-$(mktemp -d /tmp/ombrix-web-XXXXXX)}
port=${2:-18080}
mkdir -p "$state"
exec python3 "$here/web_standin.py" --port "$port" --demo-user --demo-blog \
  --data-dir "$state/web-data" --state "$state/web-state.json" \
  --request-log "$state/web-requests.log" --port-file "$state/web.port"
