#!/usr/bin/env bash
# Installs what is missing, builds the install folder build/dist and runs
# the demo against the local stand-ins: the login window comes up (on a
# private Xvfb when DISPLAY is unset), the demo user signs in through it
# with the keyboard, and the screenshots of what a user sees are written
# to build/demo-output (or $OMBRIX_DEMO_OUT) and their paths printed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMBRIX_TESTS=OFF -DOMBRIX_BENCH=OFF
cmake --build build -j "$(nproc)"

exec scripts/demo.sh build/dist
