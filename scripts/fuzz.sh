#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan+UBSan) and runs each for a
# bounded time. Exits non-zero on any crash. Skips when clang is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${OMBRIX_FUZZ_SECONDS:-20}

if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not found, skipping"
  exit 0
fi
targets=$(sed -n 's/^ombrix_fuzz(\([A-Za-z0-9_]*\).*/\1/p' tests/fuzz/CMakeLists.txt)
if [ -z "$targets" ]; then
  echo "fuzz: no targets"
  exit 0
fi

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DOMBRIX_FUZZ=ON -DOMBRIX_TESTS=OFF -DOMBRIX_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target $targets

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in $targets; do
  corpus="$build/fuzz/corpus-$t"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/$t"
  echo "fuzz: $t for ${seconds}s"
  dirs=("$corpus")
  [ -d "$seeds" ] && dirs+=("$seeds")
  rc=0
  "$build/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 "${dirs[@]}" > "$build/fuzz/$t.log" 2>&1 || rc=$?
  tail -n 3 "$build/fuzz/$t.log"
  if [ "$rc" -ne 0 ]; then
    cat "$build/fuzz/$t.log" | tail -n 60
    echo "fuzz: $t failed (exit $rc)"
    exit 1
  fi
done
