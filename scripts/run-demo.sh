#!/usr/bin/env bash
# Installs what is missing, builds the install folder build/dist and runs
# the demo against the local stand-ins.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMBRIX_TESTS=OFF -DOMBRIX_BENCH=OFF
cmake --build build -j "$(nproc)"

exec scripts/demo.sh build/dist
