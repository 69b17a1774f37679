#!/bin/sh
# The remote on an X server without a window manager (Xvfb, as ./run.sh uses
# it), where no window system ever activates the program's window: every key
# comes over the launcher link.
#   xcb_keys_test.sh PROGRAM SETUP_SCRIPT LAUNCHER BUS_CONFIG CASE
# CASE restart: first start and the initial scan, then the everyday start on
#   the same development root: CH_UP tunes, CH_LIST opens the station list,
#   BACK closes it, POWER turns the screen off and on again.
# CASE damaged: a start on a damaged channel database shows the no-channel
#   screen; OK there scans and the channel list comes back.
set -eu
program=$1
setup=$2
launcher=$3
bus_config=$4
case=$5

. "$(dirname "$0")/../support/program_run.sh"
new_devroot xcb-keys
console=
fail() {
  echo "FAIL: $*" >&2
  [ -z "$console" ] || { echo "--- console (end)" >&2; tail -n 120 "$console" >&2 || true; }
  echo "--- launcher" >&2; tail -n 20 "$root/launcher.log" >&2 || true
  exit 1
}
count() { grep -c -- "$1" "$console" || true; }
# wait_for_count PATTERN N WHAT: until the console holds N lines with PATTERN,
# two minutes at most (the sanitizer build starts slowly on a loaded machine).
has_count() { [ "$(count "$1")" -ge "$2" ]; }
wait_for_count() { poll_until "$pid" 120 "$3" has_count "$1" "$2"; }
# start_program N: starts the program on the X server; its console is consoleN.txt.
start_program() {
  console=$root/console$1.txt
  (cd "$root" && HOLVIK_ROOT=$root QT_QPA_PLATFORM=xcb exec "$program") > "$console" 2>&1 &
  pid=$!
}
stop_program() {
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=
}
# press K PATTERN WHAT: key K once; its effect is one more line with PATTERN.
press() {
  before=$(count "$2")
  send_key "$1"
  wait_for_count "$2" $((before + 1)) "$3"
}
tuned="\[onNotifyChannelChanged\] isHandover(0)"

start_launcher "$launcher" "$bus_config"
start_xvfb

case $case in
restart)
  start_program 1
  # The first-scan prompt has the keys as soon as the engine is prepared.
  wait_for_count "\[onNotifyPrepared\]" 1 "the prepared engine"
  press 22 "\[allScan\] initScan(1)" "initial scan on OK"
  wait_for_count "$tuned" 1 "live TV after the scan"
  stop_program

  start_program 2
  wait_for_count "$tuned" 1 "live TV on the second start"
  press 14 "\[selectNextStation\] .* success" "tune on CH_UP"
  wait_for_count "$tuned" 2 "the next channel playing"
  press 16 "\[setMainState\] ISDBtStationListMain" "station list on CH_LIST"
  press 21 "\[setMainState\] ISDBtPlayerMain" "return to live TV on BACK"
  press 35 "\[setPowerOn\] power (OFF)" "power-off on POWER"
  press 35 "\[setPowerOn\] power (ON)" "power-on on POWER"
  wait_for_count "$tuned" 3 "live TV after the power-on"
  echo "the second start answers CH_UP, CH_LIST, BACK and POWER"
  ;;
damaged)
  printf '[General]\ninitialized=1\n' > "$root/home/root/isdbt/settings.ini"
  mkdir -p "$root/opt/data/kvrozb_data"
  for db in ISDBT0.db ISDBT1.db; do
    yes "not a database" | head -c 8192 > "$root/opt/data/kvrozb_data/$db"
  done
  start_program 1
  wait_for_count "\[makeChannelList\] m_pChannels is empty" 1 "the empty channel list"
  press 22 "\[allScan\] initScan(0)" "scan on OK at the no-channel screen"
  wait_for_count "\[makeChannelList\] size([1-9][0-9]*) of all" 1 "the channel list after the scan"
  wait_for_count "$tuned" 1 "live TV after the scan"
  echo "OK on the no-channel screen scans and the channels come back"
  ;;
*) fail "unknown case $case" ;;
esac
