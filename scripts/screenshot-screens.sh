#!/usr/bin/env bash
# Renders every screen and overlay of the user interface at 480P, 720P and
# 1080P under a private Xvfb, on the recording engine stand-in of the QML
# tests, into OUTDIR/480P, OUTDIR/720P and OUTDIR/1080P.
#   scripts/screenshot-screens.sh [OUTDIR]      (default build/screens)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
out=$(realpath -m "${1:-build/screens}")

cmake -S . -B build/shots -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DHOLVIK_SANITIZE=OFF -DHOLVIK_BENCH=OFF > /dev/null
cmake --build build/shots -j3 --target holvik_qml_tests > /dev/null
program=$src/build/shots/tests/qml/holvik_qml_tests

export HOLVIK_ROOT=$(mktemp -d)
display=:$((100 + $$ % 100))
declare -A sizes=([0]=720x480 [1]=1280x720 [2]=1920x1080)
declare -A names=([0]=480P [1]=720P [2]=1080P)
xvfb=
cleanup() {
  if [ -n "$xvfb" ]; then kill "$xvfb" 2> /dev/null || true; wait "$xvfb" 2> /dev/null || true; fi
  rm -rf "$HOLVIK_ROOT"
}
trap cleanup EXIT

for res in 0 1 2; do
  dir=$out/${names[$res]}
  mkdir -p "$dir"
  Xvfb "$display" -screen 0 "${sizes[$res]}x24" -nolisten tcp > /dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
  done
  DISPLAY=$display QT_QPA_PLATFORM=xcb HOLVIK_QML_RESOLUTION=$res HOLVIK_SHOT_DIR=$dir \
    "$program" -input "$src/tests/qml/shots/Screens.qml" > "$dir/run.log" 2>&1 \
    || { echo "$0: rendering ${names[$res]} failed; see $dir/run.log" >&2; exit 1; }
  kill "$xvfb"; wait "$xvfb" 2> /dev/null || true; xvfb=
  echo "${names[$res]}: $(ls "$dir"/*.png | wc -l) pictures in $dir"
done
