#!/usr/bin/env bash
# Runs the demo from an install folder (default build/dist) with private
# pipe, lock and registry folders: starts the main client headless, shows
# its log, and stops everything in order on Ctrl-C (or after
# $OMBRIX_DEMO_SECONDS seconds; 8 when not run from a terminal).
#
# Stand-in services join through start_service, which keeps their pids so
# that they are stopped on the way out.
set -euo pipefail
dist=$(cd "${1:-build/dist}" && pwd)
state=$(mktemp -d /tmp/ombrix-demo-XXXXXX)
export OMBRIX_PIPE_DIR=$state/pipes OMBRIX_LOCK_DIR=$state/locks OMBRIX_REGISTRY_DIR=$state/registry

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

host=""
cleanup() {
  trap - INT TERM EXIT
  if [ -n "$host" ] && kill -0 "$host" 2>/dev/null; then
    kill -TERM "$host" 2>/dev/null || true
    wait "$host" 2>/dev/null || true
  fi
  for pid in "${services[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${services[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$state"
}
trap cleanup EXIT
stop_requested=0
trap 'stop_requested=1' INT TERM

# The client appends to its log; remember where each file ends now.
logdir=$dist/Log
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

echo "Ombrix demo: install folder $dist, state in $state"
echo "Starting OBHost.exe --gui (headless)"
"$dist/OBHost.exe" --gui &
host=$!

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
    kill -TERM "$host" 2>/dev/null || true
    break
  fi
  sleep 0.5
done
status=0
wait "$host" || status=$?
host=""
show_log
echo "OBHost.exe ended with exit code $status"
if [ -f "$OMBRIX_REGISTRY_DIR/HKCU.xml" ]; then
  echo "Registry values it wrote (HKCU):"
  grep -o 'name="[A-Za-z]*" type="REG_[A-Z]*" data="[^"]*"' "$OMBRIX_REGISTRY_DIR/HKCU.xml" | sed 's/^/  /'
fi
exit "$status"
