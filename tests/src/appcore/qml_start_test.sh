#!/bin/sh
# Starts Holvik_ISDB in a fresh development root without a display and checks
# that the engine is built, qrc:/main.qml is loaded into the view and every
# object the QML binds to is reachable (no QML error on the console).
#   qml_start_test.sh PROGRAM SETUP_SCRIPT
set -eu
program=$1
setup=$2

. "$(dirname "$0")/../support/program_run.sh"
new_devroot qml-start
console="$root/console.txt"
fail() { echo "FAIL: $*" >&2; echo "--- console" >&2; cat "$console" >&2; exit 1; }

# Qt's render-loop timing category prints a line for every frame drawn.
HOLVIK_ROOT=$root QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software \
  QT_LOGGING_RULES="qt.scenegraph.time.renderloop=true" "$program" --ID=5 > "$console" 2>&1 &
pid=$!

wait_for_line "$console" "ISDBtAppEngine loadQMLSource" "loading the QML"
wait_for_line "$console" "Frame rendered" "the first frame"
kill -0 "$pid" 2>/dev/null || fail "the program ended after its first frame"

grep -q "ISDBtAppEngine Start" "$console" || fail "engine not constructed"
grep -q "ISDBtAppEngine init" "$console" || fail "engine not initialised"
grep -q "Set screen info : 800 x 600 (720P)" "$console" || fail "screen size not published"
for bad in "QQmlComponent - error" "ReferenceError" "TypeError" "is not defined" "Failed to create"; do
  if grep -q "$bad" "$console"; then fail "QML problem: $bad"; fi
done
grep -qx "amixer sset kvrvol 230" "$root/recorded-commands.log" || fail "the loaded volume did not reach the mixer stand-in"
echo "engine built and main.qml loaded"
