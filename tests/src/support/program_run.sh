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

# poll_until PID SECONDS WHAT COMMAND...: runs COMMAND every tenth of a
# second until it succeeds; fails when process PID ends first or after SECONDS.
poll_until() {
  poll_pid=$1 poll_limit=$(($2 * 10)) poll_what=$3
  shift 3
  i=0
  until "$@"; do
    kill -0 "$poll_pid" 2>/dev/null || fail "the process ended before $poll_what"
    i=$((i + 1))
    [ $i -lt $poll_limit ] || fail "no $poll_what within $((poll_limit / 10)) s"
    sleep 0.1
  done
}

# start_launcher LAUNCHER BUS_CONFIG: a private message bus in $root with the
# launcher stand-in on it, as ./run.sh starts them, for the program started
# after it; both end with the test. send_key K presses and releases key K.
start_launcher() {
  launcher_program=$1
  dbus-daemon --config-file="$2" --address="unix:path=$root/bus" --nofork --nopidfile \
              --print-address > "$root/bus-address" 2> "$root/bus.log" &
  bus_pid=$!
  poll_until "$bus_pid" 30 "message bus" test -s "$root/bus-address"
  export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$root/bus
  "$launcher_program" < /dev/null > "$root/launcher.log" 2>&1 &
  launcher_pid=$!
  poll_until "$launcher_pid" 30 "launcher stand-in" grep -qs " ready$" "$root/launcher.log"
}

send_key() {
  "$launcher_program" --send key "$1" > /dev/null || fail "key $1 not sent"
}

# wait_for_line FILE PATTERN WHAT: waits, 30 s at most, until FILE holds
# PATTERN; fails when the program ends first.
wait_for_line() {
  poll_until "$pid" 30 "$3" grep -qs "$2" "$1"
}

# start_xvfb: a private X server without a window manager, as ./run.sh starts
# when no display is set, on a display number of its own choice; DISPLAY
# names it. It ends with the test.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3> "$root/xvfb-display" > "$root/xvfb.log" 2>&1 &
  xvfb_pid=$!
  poll_until "$xvfb_pid" 30 "X server" test -s "$root/xvfb-display"
  DISPLAY=:$(cat "$root/xvfb-display")
  export DISPLAY
}
