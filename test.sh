#!/usr/bin/env bash
# Installs what is missing, builds once per configuration and runs every test:
#  - build/asan: everything, with AddressSanitizer and UndefinedBehaviorSanitizer;
#  - build/m32:  the plug-in libraries, their hosts and tests as 32-bit code,
#    run under qemu-i386 where this machine cannot run 32-bit programs
#    (HOLVIK_M32_EMULATE=1 forces that way, with native 32-bit programs
#    blocked, to try it on a machine that can);
#  - build/plain: everything without sanitizers, as a plain checkout builds
#    it (Release), with the benchmarks; built only, but for the AVI
#    library's import check;
#  - build/fuzz: every libFuzzer target (clang), each run for
#    HOLVIK_FUZZ_SECONDS (default 5) on its seeds and checked to reach the
#    functions it exists for (scripts/fuzz.sh); a finding fails the run.
# HOLVIK_JOBS sets the parallel jobs (default: every core); HOLVIK_TEST_TIER=long
# runs the deeper mutation and seek rounds.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

jobs=${HOLVIK_JOBS:-$(nproc)}
# Both builds are CI builds (line tables only, test programs unoptimised), and
# go through ccache when it is installed.
build_options=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHOLVIK_CI=ON)
if command -v ccache >/dev/null; then
  build_options+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Nothing a test does may reach the board paths of this machine.
export HOLVIK_ROOT="$PWD/build/devroot-tests"
mkdir -p "$HOLVIK_ROOT"
export QT_QPA_PLATFORM=offscreen
# Without a display there is no OpenGL; Qt Quick then draws in software.
export QT_QUICK_BACKEND=software
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# The benchmarks are built by the plain build below, where they mean something.
cmake -S . -B build/asan "${build_options[@]}" -DHOLVIK_SANITIZE=ON -DHOLVIK_BENCH=OFF
cmake --build build/asan -j "$jobs"

# Can this machine run a 32-bit program? Build and start the smallest one.
m32_emulator=
m32_guard=()
mkdir -p build
printf 'int main(void) { return 0; }\n' | cc -m32 -x c - -o build/probe32
if [ "${HOLVIK_M32_EMULATE:-0}" = 1 ]; then
  m32_emulator=qemu-i386
  m32_guard=(python3 tests/support/without_i386.py)
  echo "m32 tests: under qemu-i386 (forced by HOLVIK_M32_EMULATE=1; native 32-bit programs blocked)"
elif build/probe32 2>/dev/null; then
  echo "m32 tests: native (this machine runs 32-bit programs)"
else
  m32_emulator=qemu-i386
  echo "m32 tests: under qemu-i386 (this machine cannot run 32-bit programs)"
fi

cmake -S . -B build/m32 "${build_options[@]}" -DHOLVIK_M32=ON -DHOLVIK_BENCH=OFF \
      "-DHOLVIK_M32_EMULATOR=$m32_emulator"
cmake --build build/m32 -j "$jobs"

# The whole tree without sanitizers, as "cmake -S . -B build
# -DCMAKE_BUILD_TYPE=Release && cmake --build build" builds it: a program
# that links only against a sanitizer's runtime, or a test source that
# compiles only with the precompiled test header force-included, breaks
# this build and no other. The test programs compile unoptimised (CI) and
# without the precompiled header. Its tests are the other builds' but for
# the AVI library's import check, where gcc's -O3 output shows libc's names.
plain_options=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DHOLVIK_CI=ON -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON)
if command -v ccache >/dev/null; then
  plain_options+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build/plain "${plain_options[@]}"
cmake --build build/plain -j "$jobs"

status=0
ctest --test-dir build/plain -R '^avi_imports_no_libc_memory_functions$' --output-on-failure || status=1
ctest --test-dir build/asan -j "$jobs" --output-on-failure || status=1
"${m32_guard[@]}" ctest --test-dir build/m32 -j "$jobs" --output-on-failure || status=1
if [ -n "$m32_emulator" ]; then echo "m32 tests ran under $m32_emulator"; else echo "m32 tests ran natively"; fi

# The fuzz step takes the seeds that the sanitizer build's fixtures made.
HOLVIK_FUZZ_SEEDS_FROM=build/asan scripts/fuzz.sh "${HOLVIK_FUZZ_SECONDS:-5}" || status=1
exit $status
