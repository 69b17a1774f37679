#!/usr/bin/env bash
# Installs what is missing, builds the application and runs it in the
# development root build/devroot (or $HOLVIK_ROOT), so that the run never
# touches the board paths, reboots, flushes or re-mixes this machine.
# Arguments are passed to the program (for example --ID=1).
# In a window when $DISPLAY names a display, under Xvfb otherwise.
set -euo pipefail
cd "$(dirname "$0")"
src=$PWD
scripts/install-deps.sh

cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DHOLVIK_SANITIZE=OFF -DHOLVIK_TESTS=OFF -DHOLVIK_BENCH=OFF
cmake --build build/run -j "$(nproc)"

export HOLVIK_ROOT=${HOLVIK_ROOT:-$src/build/devroot}
scripts/devroot-setup.sh "$HOLVIK_ROOT"
# A USB stick for the log export.
mkdir -p "$HOLVIK_ROOT/run/media/sda1"

echo "development root: $HOLVIK_ROOT"
echo "log files:        $HOLVIK_ROOT/opt/data/DtvAppLog/"
echo "recorded reboot/sync/amixer calls: $HOLVIK_ROOT/recorded-commands.log"

# --- launcher ---
# A private message bus stands for the board's system bus, with the launcher
# stand-in on it; both end with the program.
launcher=$src/build/run/platform/launcher/holvik-launcher
bus_dir=$(mktemp -d "${TMPDIR:-/tmp}/holvik-bus-XXXXXX")
dbus-daemon --config-file="$src/platform/launcher/private-bus.conf" --address="unix:path=$bus_dir/bus" \
            --nofork --nopidfile --print-address > "$bus_dir/address" &
bus_pid=$!
launcher_pid=
stop_launcher() {
  [ -z "$launcher_pid" ] || kill "$launcher_pid" 2>/dev/null || true
  kill "$bus_pid" 2>/dev/null || true
  rm -rf "$bus_dir"
}
trap stop_launcher EXIT
until [ -s "$bus_dir/address" ]; do
  kill -0 "$bus_pid" 2>/dev/null || { echo "the message bus did not start" >&2; exit 1; }
  sleep 0.1
done
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$bus_dir/bus
"$launcher" < /dev/null > "$HOLVIK_ROOT/launcher.log" 2>&1 &
launcher_pid=$!
until grep -q "ready" "$HOLVIK_ROOT/launcher.log" 2>/dev/null; do
  kill -0 "$launcher_pid" 2>/dev/null || { echo "the launcher stand-in did not start" >&2; exit 1; }
  sleep 0.1
done
echo "launcher calls:   $HOLVIK_ROOT/launcher.log"
echo "remote keys etc.: DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SYSTEM_BUS_ADDRESS $launcher --send press 14"
echo "                  (release K, hold K MS, touch X Y, powerdown, hpd 0|1, alive ID)"

program=$src/build/run/src/Holvik_ISDB
# Relative names the program builds (the swap files of its settings) stay
# inside the development root.
cd "$HOLVIK_ROOT"
if [ -n "${DISPLAY:-}" ]; then
  "$program" "$@"
else
  xvfb-run -a -s "-screen 0 1280x720x24" "$program" "$@"
fi
