#!/bin/sh
# Starts Holvik_ISDB in a fresh development root without a display and checks
# that the engine is built, qrc:/main.qml is loaded into the view and every
# object the QML binds to is reachable (no QML error on the console).
#   qml_start_test.sh PROGRAM SETUP_SCRIPT
set -eu
program=$1
setup=$2

base=${HOLVIK_ROOT:-${TMPDIR:-/tmp}}
mkdir -p "$base"
root=$(mktemp -d "$base/qml-start-XXXXXX")
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$root"
}
trap cleanup EXIT
/bin/sh "$setup" "$root"
console="$root/console.txt"
fail() { echo "FAIL: $*" >&2; echo "--- console" >&2; cat "$console" >&2; exit 1; }

HOLVIK_ROOT=$root QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software "$program" --ID=5 > "$console" 2>&1 &
pid=$!

i=0
until grep -q "ISDBtAppEngine loadQMLSource" "$console" 2>/dev/null; do
  kill -0 "$pid" 2>/dev/null || fail "the program ended before loading the QML"
  i=$((i + 1))
  [ $i -lt 300 ] || fail "no QML loading within 30 s"
  sleep 0.1
done
# Give the view time to show and render its first frames.
sleep 2
kill -0 "$pid" 2>/dev/null || fail "the program ended after loading the QML"

grep -q "ISDBtAppEngine Start" "$console" || fail "engine not constructed"
grep -q "ISDBtAppEngine init" "$console" || fail "engine not initialised"
grep -q "Set screen info : 800 x 600 (720P)" "$console" || fail "screen size not published"
for bad in "QQmlComponent - error" "ReferenceError" "TypeError" "is not defined" "Failed to create"; do
  if grep -q "$bad" "$console"; then fail "QML problem: $bad"; fi
done
grep -qx "amixer sset kvrvol 230" "$root/recorded-commands.log" || fail "the loaded volume did not reach the mixer stand-in"
echo "engine built and main.qml loaded"
