#!/usr/bin/env bash
# Installs what is missing, builds once per configuration and runs every test:
#  - build/asan: everything, with AddressSanitizer and UndefinedBehaviorSanitizer;
#  - build/m32:  the plug-in libraries, their hosts and tests as 32-bit code.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

jobs=$(nproc)
# Nothing a test does may reach the board paths of this machine.
export HOLVIK_ROOT="$PWD/build/devroot-tests"
mkdir -p "$HOLVIK_ROOT"
export QT_QPA_PLATFORM=offscreen
# Without a display there is no OpenGL; Qt Quick then draws in software.
export QT_QUICK_BACKEND=software
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

cmake -S . -B build/asan -G Ninja -DHOLVIK_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/asan -j "$jobs"
cmake -S . -B build/m32 -G Ninja -DHOLVIK_M32=ON -DHOLVIK_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/m32 -j "$jobs"

status=0
ctest --test-dir build/asan -j "$jobs" --output-on-failure || status=1
ctest --test-dir build/m32 -j "$jobs" --output-on-failure || status=1
exit $status
