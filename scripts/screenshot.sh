#!/usr/bin/env bash
# Starts the application built by ./run.sh under a private Xvfb display in the
# development root, waits for its window to settle and saves a picture of the
# screen, then stops the program again.
#   scripts/screenshot.sh OUT.png [SECONDS]
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 OUT.png [SECONDS]" >&2
  exit 2
fi
out=$(realpath -m "$1")
wait_s=${2:-5}
cd "$(dirname "$0")/.."
src=$PWD
program=$src/build/run/src/Holvik_ISDB
if [ ! -x "$program" ]; then
  echo "$0: build the program first (./run.sh builds build/run)" >&2
  exit 1
fi
export HOLVIK_ROOT=${HOLVIK_ROOT:-$src/build/devroot}
scripts/devroot-setup.sh "$HOLVIK_ROOT"

display=:$((100 + $$ % 100))
Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
app=
cleanup() {
  if [ -n "$app" ]; then kill "$app" 2> /dev/null || true; wait "$app" 2> /dev/null || true; fi
  kill "$xvfb" 2> /dev/null || true
  wait "$xvfb" 2> /dev/null || true
}
trap cleanup EXIT
sleep 1
(cd "$HOLVIK_ROOT" && DISPLAY=$display QT_QPA_PLATFORM=xcb exec "$program") > "$HOLVIK_ROOT/screenshot-console.txt" 2>&1 &
app=$!
sleep "$wait_s"
kill -0 "$app" 2> /dev/null || { echo "$0: the program ended; see $HOLVIK_ROOT/screenshot-console.txt" >&2; exit 1; }
DISPLAY=$display import -window root "$out"
echo "screen saved to $out"
