#!/bin/sh
# Checks that every C++ file is as clang-format 14 lays it out (.clang-format);
# with --fix, formats them in place. One version, since each release of
# clang-format lays some constructs out differently.
#   tools/format.sh [--fix]
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cc' '*.h')
if [ "${1:-}" = "--fix" ]; then
  # shellcheck disable=SC2086
  clang-format-14 -i $files
  exit 0
fi
# shellcheck disable=SC2086
if ! clang-format-14 --dry-run --Werror $files; then
  echo "format: run tools/format.sh --fix" >&2
  exit 1
fi
echo "format: every file as clang-format lays it out"
