#!/bin/sh
# Checks the layout (clang-format) and the code (clang-tidy), then builds
# every preset (the native, sanitizer and Windows ones with warnings as
# errors) and runs every test: the Linux suite natively, the sanitizer
# build's fuzz and mutation tests and one generation and restore with its
# command line, the same under ThreadSanitizer for the threaded parts, a
# short run of every libFuzzer harness, and the Windows suite under Wine;
# then packages the release from those trees and checks the packages.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/format.sh
tools/tidy.sh
cmake --preset linux
cmake --build --preset linux-release
ctest --preset linux-release
cmake --preset linux-sanitize
cmake --build --preset linux-sanitize
ctest --preset linux-sanitize
# The sanitizer build's command line as a player drives it: a sample game
# folder generated and restored, with fontconfig, FreeType and the writer.
sample=$(mktemp -d)
trap 'rm -rf "$sample"' EXIT
karstel=build/linux-sanitize/app/cli/karstel
"$karstel" sample "$sample/game"
"$karstel" generate --game-folder "$sample/game" \
  --font "WenQuanYi Micro Hei" --quiet
"$karstel" restore --game-folder "$sample/game"
# ThreadSanitizer over the generation (its preparing thread beside the
# compressor's OpenMP workers), the resource writer and the compressor,
# then one generation with the command line. LLVM's OpenMP runtime tells
# ThreadSanitizer about its barriers; the libraries that are not
# instrumented (OpenMP's own, zlib, FreeType) are left out of the check.
cmake --preset linux-tsan
cmake --build --preset linux-tsan
ctest --preset linux-tsan
tsan=build/linux-tsan/app/cli/karstel
export TSAN_OPTIONS="ignore_noninstrumented_modules=1 halt_on_error=1
  external_symbolizer_path=/usr/bin/addr2line"
"$tsan" sample "$sample/tsan" >/dev/null
"$tsan" generate --game-folder "$sample/tsan" \
  --font "WenQuanYi Micro Hei" --quiet
"$tsan" restore --game-folder "$sample/tsan" >/dev/null
unset TSAN_OPTIONS
# Every reader of outside data under libFuzzer, a few seconds each.
cmake --preset linux-fuzz
cmake --build --preset linux-fuzz
tools/fuzz.sh 5
cmake --preset windows
cmake --build --preset windows
ctest --preset windows
tools/release.sh
tools/check-release.sh
