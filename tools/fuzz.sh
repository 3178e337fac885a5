#!/bin/sh
# Runs every libFuzzer harness of the linux-fuzz build for SECONDS each,
# five unless given, one after another, starting from the seeds the sample
# writer makes. Each harness keeps its corpus in build/linux-fuzz/corpus/,
# so later runs go on from what earlier ones found. A crash or a failed
# check stops the run; its input is kept in build/linux-fuzz/crashes/.
#   tools/fuzz.sh [SECONDS]
# One input again (a crash, or a corpus file) with its report:
#   build/linux-fuzz/fuzz/HARNESS_fuzzer FILE
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-5}
build=build/linux-fuzz
harnesses="resource_load resource_patch backup character_table journal
  wine_registry vdf"
# Reports name functions and lines with binutils, without LLVM's tools.
export ASAN_OPTIONS="external_symbolizer_path=/usr/bin/addr2line"
export UBSAN_OPTIONS="$ASAN_OPTIONS print_stacktrace=1"
rm -rf "$build/seeds"
"$build/fuzz/make_fuzz_seeds" "$build/seeds"
mkdir -p "$build/crashes"
for harness in $harnesses; do
  corpus="$build/corpus/$harness"
  log="$build/fuzz-$harness.log"
  mkdir -p "$corpus"
  # One worker each (OpenMP's too): the machine's other core builds.
  if ! OMP_NUM_THREADS=1 "$build/fuzz/${harness}_fuzzer" \
      -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -artifact_prefix="$build/crashes/$harness-" \
      "$corpus" "$build/seeds/$harness" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $harness failed; input kept in $build/crashes/" >&2
    exit 1
  fi
  echo "fuzz: $harness: $(grep '^Done' "$log")"
done
