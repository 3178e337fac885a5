#!/bin/sh
# Runs clang-tidy (the checks in .clang-tidy) over every source of the
# Linux build, with clang's own warnings as errors beside them. Its compile
# commands come from a configure-only clang tree in build/tidy, so that the
# flags are clang's; nothing is built there.
#   tools/tidy.sh [FILE-REGEX]
set -eu
cd "$(dirname "$0")/.."
cmake --preset tidy >/dev/null
run-clang-tidy-16 -p build/tidy -quiet -j "$(nproc)" \
  -clang-tidy-binary clang-tidy-16 "${1:-.*}" >build/tidy/tidy.log 2>&1 || {
  grep -E "(error|warning):" build/tidy/tidy.log | sort -u >&2
  echo "tidy: findings above; the whole report is build/tidy/tidy.log" >&2
  exit 1
}
echo "tidy: no findings"
