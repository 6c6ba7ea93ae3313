#!/usr/bin/env bash
# Installs what is missing, checks the include layering, builds with
# AddressSanitizer and UndefinedBehaviorSanitizer, runs every test (all
# labels) and the fuzz targets, then builds everything once more as a
# Release build. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# Includes point down the layers (also a test; here it fails before the build).
python3 scripts/check_layering.py

build=build-tests
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOMBRIX_SANITIZE=ON
cmake --build "$build" -j "$(nproc)"

# No abort_on_error: a sanitizer report must end a program with a failure
# code, not through abort into the program's own crash handler.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600 "$@"

if [ -x scripts/fuzz.sh ]; then
  scripts/fuzz.sh
fi

# Every build type must build: one optimised build of everything (tests and
# benchmarks included), without running the tests again.
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build-release -j "$(nproc)"
