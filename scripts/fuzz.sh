#!/usr/bin/env bash
# Builds every libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer, every library instrumented for coverage) in
# build/fuzz, makes their seeds, runs each target for SECONDS (default 60)
# and then checks that its corpus reaches the functions the target exists
# for (its "reach" lines, see cmake/HolvikFuzz.cmake).
#   scripts/fuzz.sh [SECONDS]
# What a target finds stays: new inputs in build/fuzz/corpus/TARGET (the next
# run starts from them), crashes, leaks and hangs in build/fuzz/findings/TARGET,
# its output in build/fuzz/logs/TARGET.log.
# Exit status 1 when a target found something, missed a function it exists
# for, or lacked its seeds.
# Environment:
#   HOLVIK_JOBS             parallel build jobs (default: every core)
#   HOLVIK_FUZZ_PARALLEL    targets run at a time (default: one per core)
#   HOLVIK_FUZZ_ONLY        a regular expression: only the targets it matches
#   HOLVIK_FUZZ_SEEDS_FROM  a build folder of this tree whose fixtures have
#                           run (test.sh's build/asan): its seed files are
#                           taken instead of running the fixtures again
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
started=$(date +%s)
jobs=${HOLVIK_JOBS:-$(nproc)}
parallel=${HOLVIK_FUZZ_PARALLEL:-$jobs}
only=${HOLVIK_FUZZ_ONLY:-.}
scripts/install-deps.sh
command -v clang++ >/dev/null || { echo "fuzz.sh needs clang (apt-get install clang)" >&2; exit 1; }

export HOLVIK_ROOT="$PWD/build/devroot-fuzz"
mkdir -p "$HOLVIK_ROOT"
export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

options=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHOLVIK_CI=ON -DHOLVIK_FUZZ=ON -DHOLVIK_SANITIZE=ON
         -DHOLVIK_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
if command -v ccache >/dev/null; then
  options+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build/fuzz "${options[@]}" > build/fuzz-configure.log 2>&1 ||
  { cat build/fuzz-configure.log; exit 1; }
# Only the fuzz targets and the programs that make their seeds.
cmake --build build/fuzz -j "$jobs" --target holvik_fuzz_targets

fuzz_build="$PWD/build/fuzz"
seed_build=$fuzz_build
if [ -n "${HOLVIK_FUZZ_SEEDS_FROM:-}" ]; then
  seed_build=$(cd "$HOLVIK_FUZZ_SEEDS_FROM" && pwd)
  # The reach tests below take their seeds from there too.
  export HOLVIK_FUZZ_SEEDS_FROM=$seed_build
  echo "seeds made at test time: from $seed_build"
else
  # The seeds made at test time (ffmpeg media, seed makers) come from the
  # tests' fixtures.
  ctest --test-dir build/fuzz -L fuzz-seeds -j "$jobs" --output-on-failure
fi

# The fuzz binaries' memory handling still lets the sanitizer see what it
# should (tests/support: fuzz_memory_*), and the reach lists fail hollow
# harnesses (fuzz_reach_fails_*). Their seeds were made above or come from
# HOLVIK_FUZZ_SEEDS_FROM: no fixture runs again.
ctest --test-dir build/fuzz -L fuzz-tooling -FA '.*' -j "$jobs" --output-on-failure ||
  { echo "fuzz: the sanitizer does not see what it should, or a reach list passes a hollow harness" >&2; exit 1; }

# The targets' development roots and temporary files lie in memory where
# the machine has a tmpfs: the settings and database stores make every
# write durable (fdatasync), and on a disk that wait was most of an input's
# time. The folder is this run's own and goes at the end.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  fuzz_tmp=$(mktemp -d /dev/shm/holvik-fuzz.XXXXXX)
  trap 'rm -rf "$fuzz_tmp"' EXIT
  export HOLVIK_ROOT=$fuzz_tmp/devroot TMPDIR=$fuzz_tmp
  mkdir -p "$HOLVIK_ROOT"
fi

mkdir -p build/fuzz/logs build/fuzz/results
rm -f build/fuzz/results/*

# Runs one target: seeds, SECONDS of fuzzing, then a run over the corpus
# that lists the functions covered. Writes its verdict to results/TARGET.
fuzz_one() {
  local manifest=$1 name binary line seed
  name=$(basename "$manifest" .txt)
  local corpus=build/fuzz/corpus/$name findings=build/fuzz/findings/$name seeds=build/fuzz/seeds/$name
  local log=build/fuzz/logs/$name.log covlog=build/fuzz/logs/$name.coverage.log
  local result=build/fuzz/results/$name
  set +e
  local -a reaches=() extra=() missing=()
  local -a share=()
  binary=
  rm -rf "$seeds"
  mkdir -p "$corpus" "$findings" "$seeds"
  while IFS= read -r line; do
    case $line in
      "seed "*)
        seed=${line#seed }
        case $seed in "$fuzz_build"/*) seed=$seed_build/${seed#"$fuzz_build"/} ;; esac
        if [ -d "$seed" ]; then cp -r "$seed" "$seeds/"
        elif [ -f "$seed" ]; then cp "$seed" "$seeds/"
        else missing+=("$seed"); fi ;;
      own-seeds) HOLVIK_FUZZ_WRITE_SEEDS="$PWD/$seeds/own" "$binary" > /dev/null 2>&1 ||
                   missing+=("its own seeds") ;;
      "reach "*) reaches+=("${line#reach }") ;;
      "reach-share "*) share=(--share "${line#reach-share }") ;;
      "option "*) extra+=("${line#option }") ;;
      *) binary=$line ;;
    esac
  done < "$manifest"
  if [ ${#missing[@]} -gt 0 ]; then
    echo "FAIL $name: seeds missing: ${missing[*]}" > "$result"
    return
  fi
  # The rate is the steady one: the inputs run after the corpus was loaded
  # ("INITED"), over the time since; the line is watched for in the log
  # (a target's own output may share the line).
  local inited_at= pid status
  : > "$log"
  "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 -print_funcs=0 \
      "${extra[@]}" -artifact_prefix="$findings/" "$corpus" "$seeds" > "$log" 2>&1 &
  pid=$!
  while kill -0 "$pid" 2> /dev/null; do
    if grep -aqE -m1 '#[0-9]+[[:space:]]+INITED' "$log"; then
      inited_at=$EPOCHREALTIME
      break
    fi
    sleep 0.1
  done
  wait "$pid"
  status=$?
  if [ "$status" -ne 0 ]; then
    echo "FAIL $name: found something (see $log and $findings/)" > "$result"
    return
  fi
  local ended_at=$EPOCHREALTIME execs inited rate cov
  execs=$(grep -a '^stat::number_of_executed_units' "$log" | awk '{print $2}')
  inited=$(grep -aoE '#[0-9]+[[:space:]]+INITED' "$log" | head -1 | sed 's/^#\([0-9]*\).*/\1/')
  rate=$(awk -v n="${execs:-0}" -v i="${inited:-0}" -v t0="${inited_at:-}" -v t1="$ended_at" \
    'BEGIN { if (t0 == "" || t1 - t0 < 0.5) print "?"; else printf "%d", (n - i) / (t1 - t0) }')
  cov=$(grep -aoE 'DONE +cov: [0-9]+' "$log" | tail -1 | awk '{print $3}')
  # Which functions the corpus covers, as libFuzzer names them.
  if ! "$binary" -runs=0 -print_coverage=1 -timeout=10 "${extra[@]}" -artifact_prefix="$findings/" \
        "$corpus" "$seeds" > "$covlog" 2>&1; then
    echo "FAIL $name: the corpus run failed (see $covlog)" > "$result"
    return
  fi
  if [ ${#reaches[@]} -eq 0 ]; then
    echo "FAIL $name: names no function it reaches" > "$result"
    return
  fi
  local unreached
  if ! unreached=$(scripts/fuzz-reach.sh "$covlog" "${share[@]}" "${reaches[@]}"); then
    echo "FAIL $name: does not reach $(echo $unreached) (see $covlog)" > "$result"
    return
  fi
  # The same check on inputs that give the parser nothing (none, or one
  # byte) must fail: a list that such inputs meet names only what the
  # harness calls itself, and would pass a harness that feeds nothing.
  local cripple=build/fuzz/cripple/$name
  rm -rf "$cripple"
  mkdir -p "$cripple"
  : > "$cripple/empty"
  local b
  for b in 00 01 7f 80 ff; do printf "\\x$b" > "$cripple/byte-$b"; done
  "$binary" -runs=0 -print_coverage=1 -timeout=10 "${extra[@]}" -artifact_prefix="$cripple/" \
    "$cripple" > "$covlog.cripple" 2>&1
  if scripts/fuzz-reach.sh "$covlog.cripple" "${share[@]}" "${reaches[@]}" > /dev/null; then
    echo "FAIL $name: inputs of a byte or none meet its reach list (see $covlog.cripple)" > "$result"
  else
    printf 'ok   %-34s %8s inputs/s  cov %6s  reaches %s\n' "$name" "$rate" "${cov:-?}" "${reaches[*]}" > "$result"
  fi
}

manifests=()
for manifest in build/fuzz/fuzz-targets/*.txt; do
  [[ $(basename "$manifest" .txt) =~ $only ]] && manifests+=("$manifest")
done
echo "=== ${#manifests[@]} targets, $seconds s each, $parallel at a time"
running=0
for manifest in "${manifests[@]}"; do
  fuzz_one "$manifest" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

passed=0
failed=0
for manifest in "${manifests[@]}"; do
  result=build/fuzz/results/$(basename "$manifest" .txt)
  if [ -f "$result" ] && ! grep -q '^FAIL' "$result"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
  if [ -f "$result" ]; then cat "$result"; else echo "FAIL $(basename "$manifest" .txt): no verdict"; fi
done
echo "fuzz step: $(( $(date +%s) - started )) s (build, seeds and runs)"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
