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

program=$src/build/run/src/Holvik_ISDB
# Relative names the program builds (the swap files of its settings) stay
# inside the development root.
cd "$HOLVIK_ROOT"
if [ -n "${DISPLAY:-}" ]; then
  exec "$program" "$@"
else
  exec xvfb-run -a -s "-screen 0 1280x720x24" "$program" "$@"
fi
