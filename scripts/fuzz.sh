#!/usr/bin/env bash
# Builds every libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer, every library instrumented for coverage) in
# build/fuzz, makes their seeds and runs each target for SECONDS (default 60).
#   scripts/fuzz.sh [SECONDS]
# What a target finds stays: new inputs in build/fuzz/corpus/TARGET (the next
# run starts from them), crashes, leaks and hangs in build/fuzz/findings/TARGET.
# Exit status 1 when any target found something. HOLVIK_JOBS sets the build's
# parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=${HOLVIK_JOBS:-$(nproc)}
scripts/install-deps.sh
command -v clang++ >/dev/null || { echo "fuzz.sh needs clang (apt-get install clang)" >&2; exit 1; }

export HOLVIK_ROOT="$PWD/build/devroot-fuzz"
mkdir -p "$HOLVIK_ROOT"
export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

options=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHOLVIK_FUZZ=ON -DHOLVIK_SANITIZE=ON -DHOLVIK_BENCH=OFF
         -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
if command -v ccache >/dev/null; then
  options+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build/fuzz "${options[@]}"
cmake --build build/fuzz -j "$jobs"
# The seeds made at test time (ffmpeg media, seed makers) come from the
# tests' fixtures.
ctest --test-dir build/fuzz -L fixture -j "$jobs" --output-on-failure

found=()
for manifest in build/fuzz/fuzz-targets/*.txt; do
  name=$(basename "$manifest" .txt)
  mapfile -t lines < "$manifest"
  binary=${lines[0]}
  [ -x "$binary" ] || continue
  corpus=build/fuzz/corpus/$name
  findings=build/fuzz/findings/$name
  seeds=build/fuzz/seeds/$name
  rm -rf "$seeds"
  mkdir -p "$corpus" "$findings" "$seeds"
  # Seed files and folders are copied into one folder; libFuzzer reads the
  # corpus and that folder and adds what it learns to the corpus only.
  for seed in "${lines[@]:1}"; do
    if [ "$seed" = own-seeds ]; then
      HOLVIK_FUZZ_WRITE_SEEDS="$PWD/$seeds/own" "$binary" > /dev/null ||
        echo "    $name could not write its own seeds"
    elif [ -d "$seed" ]; then
      cp -r "$seed" "$seeds/"
    elif [ -f "$seed" ]; then
      cp "$seed" "$seeds/"
    fi
  done
  echo "=== $name: $seconds s from $(find "$seeds" "$corpus" -type f | wc -l) inputs"
  if ! "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" "$seeds" \
        > "build/fuzz/$name.log" 2>&1; then
    found+=("$name")
    echo "    found something: see build/fuzz/$name.log and $findings/"
  fi
  # Coverage reached and inputs run (the target's own console lines may share
  # the line libFuzzer ends with).
  grep -aoE "DONE +cov: [0-9]+ ft: [0-9]+ corp: [^ ]+" "build/fuzz/$name.log" | tail -1 | sed 's/^/    /' || true
  grep -aE "^stat::(number_of_executed_units|new_units_added)" "build/fuzz/$name.log" | sed 's/^/    /' || true
done

if [ ${#found[@]} -gt 0 ]; then
  echo "targets with findings: ${found[*]}"
  exit 1
fi
echo "every target ran clean"
