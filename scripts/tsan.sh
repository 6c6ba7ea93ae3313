#!/usr/bin/env bash
# The threaded parts under ThreadSanitizer (not part of scripts/test.sh):
# builds build-tsan and runs every test but the crash handler's, whose
# deliberately racing, crashing programs only make sense without it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build=build-tsan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOMBRIX_TSAN=ON -DOMBRIX_BENCH=OFF
cmake --build "$build" -j "$(nproc)"
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=0 exitcode=66 ${TSAN_OPTIONS:-}"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -E 'CrashHandlerTest' "$@"
