# Shared steps of the tests that start Holvik_ISDB in a fresh development
# root. Source it after setting `program` and `setup`; define `fail` (message
# and the files worth showing) before calling wait_for_line.

# new_devroot NAME: makes $root below $HOLVIK_ROOT (or the temporary
# directory), fills it with the setup script and removes it on exit, after
# stopping the program started as $pid.
new_devroot() {
  base=${HOLVIK_ROOT:-${TMPDIR:-/tmp}}
  mkdir -p "$base"
  root=$(mktemp -d "$base/$1-XXXXXX")
  pid=
  bus_pid=
  launcher_pid=
  xvfb_pid=
  trap cleanup_devroot EXIT
  # The program's launcher link finds no bus unless the test started one.
  export DBUS_SYSTEM_BUS_ADDRESS=${DBUS_SYSTEM_BUS_ADDRESS:-unix:path=$root/no-system-bus}
  /bin/sh "$setup" "$root"
}

cleanup_devroot() {
  for p in "$pid" "$launcher_pid" "$bus_pid" "$xvfb_pid"; do
    if [ -n "$p" ]; then kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; fi
  done
  rm -rf "$root"
}

# start_launcher LAUNCHER BUS_CONFIG: a private message bus in $root with the
# launcher stand-in on it, as ./run.sh starts them, for the program started
# after it; both end with the test. send_key K presses and releases key K.
start_launcher() {
  launcher_program=$1
  dbus-daemon --config-file="$2" --address="unix:path=$root/bus" --nofork --nopidfile \
              --print-address > "$root/bus-address" 2> "$root/bus.log" &
  bus_pid=$!
  i=0
  until [ -s "$root/bus-address" ]; do
    kill -0 "$bus_pid" 2>/dev/null || fail "the message bus did not start"
    i=$((i + 1))
    [ $i -lt 300 ] || fail "no message bus within 30 s"
    sleep 0.1
  done
  export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$root/bus
  "$launcher_program" < /dev/null > "$root/launcher.log" 2>&1 &
  launcher_pid=$!
  i=0
  until grep -q " ready$" "$root/launcher.log" 2>/dev/null; do
    kill -0 "$launcher_pid" 2>/dev/null || fail "the launcher stand-in did not start"
    i=$((i + 1))
    [ $i -lt 300 ] || fail "no launcher stand-in within 30 s"
    sleep 0.1
  done
}

send_key() {
  "$launcher_program" --send key "$1" > /dev/null || fail "key $1 not sent"
}

# wait_for_line FILE PATTERN WHAT: waits, 30 s at most, until FILE holds
# PATTERN; fails when the program ends first.
wait_for_line() {
  i=0
  until grep -q "$2" "$1" 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null || fail "the program ended before $3"
    i=$((i + 1))
    [ $i -lt 300 ] || fail "no $3 within 30 s"
    sleep 0.1
  done
}

# start_xvfb: a private X server without a window manager, as ./run.sh starts
# when no display is set, on a display number of its own choice; DISPLAY
# names it. It ends with the test.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3> "$root/xvfb-display" > "$root/xvfb.log" 2>&1 &
  xvfb_pid=$!
  i=0
  until [ -s "$root/xvfb-display" ]; do
    kill -0 "$xvfb_pid" 2>/dev/null || fail "the X server did not start"
    i=$((i + 1))
    [ $i -lt 300 ] || fail "no X server within 30 s"
    sleep 0.1
  done
  DISPLAY=:$(cat "$root/xvfb-display")
  export DISPLAY
}
