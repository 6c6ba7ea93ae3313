#!/bin/sh
# Formats every C and C++ file of ours by .clang-format. With --check, lists
# the files that would change and fails if any would.
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cc' '*.h' '*.c')
if [ "${1:-}" = "--check" ]; then
  bad=0
  for f in $files; do
    if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then echo "$f"; bad=1; fi
  done
  exit $bad
fi
echo "$files" | xargs clang-format -i
