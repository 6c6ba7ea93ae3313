#!/usr/bin/env bash
# Runs the demo from an install folder (default build/dist) against the
# local stand-in services, with private pipe, lock and registry folders.
set -euo pipefail
dist=$(cd "${1:-build/dist}" && pwd)
state=$(mktemp -d /tmp/ombrix-demo-XXXXXX)
export OMBRIX_PIPE_DIR=$state/pipes OMBRIX_LOCK_DIR=$state/locks OMBRIX_REGISTRY_DIR=$state/registry

echo "Ombrix demo: install folder $dist, state in $state"
ls -1 "$dist"
