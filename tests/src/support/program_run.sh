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
  trap cleanup_devroot EXIT
  # The program's launcher link finds no bus unless the test started one.
  export DBUS_SYSTEM_BUS_ADDRESS=${DBUS_SYSTEM_BUS_ADDRESS:-unix:path=$root/no-system-bus}
  /bin/sh "$setup" "$root"
}

cleanup_devroot() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$root"
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
