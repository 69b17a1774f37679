#!/bin/sh
# Runs Holvik_ISDB as a new viewer would: first start in a fresh development
# root with the launcher stand-in on a private bus, OK on the initial-scan
# prompt, then live TV, the broadcast stand-in's clock running several times
# as fast as the program's own.
#   live_tv_test.sh PROGRAM SETUP_SCRIPT LAUNCHER BUS_CONFIG SCENARIO_DIR CASE
# CASE steady: the built-in scenario, good reception on every channel. Two
#   minutes of broadcast pass without a station search or a handover, the
#   banner names the programme on air and the guide lists the programmes.
# CASE fading: weak-signal.txt. Reception of the main transmitter turns weak,
#   the relay comes within reach, and the service is handed over to it once.
set -eu
program=$1
setup=$2
launcher=$3
bus_config=$4
scenarios=$5
case=$6

. "$(dirname "$0")/../support/program_run.sh"
new_devroot live-tv
logdir=$root/opt/data/DtvAppLog
logs() { for f in $(ls -v "$logdir"/AppLogFile_*.txt 2>/dev/null); do cat "$f"; done; }
fail() {
  echo "FAIL: $*" >&2
  echo "--- console (end)" >&2; tail -n 40 "$root/console.txt" >&2 || true
  echo "--- log (end)" >&2; logs | tail -n 120 >&2 || true
  exit 1
}
count() { logs | grep -c -- "$1" || true; }
# wait_for_count PATTERN N WHAT [FORBIDDEN]: until the log holds N lines with
# PATTERN; fails at once when a line with FORBIDDEN comes first.
wait_for_count() {
  i=0
  until [ "$(count "$1")" -ge "$2" ]; do
    kill -0 "$pid" 2>/dev/null || fail "the program ended before $3"
    [ -z "${4:-}" ] || [ "$(count "$4")" -eq 0 ] || fail "before $3: $4"
    i=$((i + 1))
    [ $i -lt 600 ] || fail "no $3 within 60 s"
    sleep 0.1
  done
}
# First line number of PATTERN in the log (0 when absent).
line_of() { logs | grep -n -m 1 -- "$1" | cut -d: -f1 || true; }

start_launcher "$launcher" "$bus_config"
case $case in
  steady) rate=8 ;;
  # Slower, so that the weak notice stands before the relay comes within reach.
  fading) rate=4; export HOLVIK_BROADCAST_SCENARIO=$scenarios/weak-signal.txt ;;
  *) fail "unknown case $case" ;;
esac
(cd "$root" && HOLVIK_ROOT=$root HOLVIK_BROADCAST_CLOCK_RATE=$rate exec "$program") > "$root/console.txt" 2>&1 &
pid=$!

# First start: the initial-scan prompt takes OK once the power mode is known.
# A key that comes before the prompt is ready is lost; it is pressed again.
wait_for_count "\[AppResponsePowerMode\]" 1 "the power-mode answer"
tries=0
until [ "$(count "\[allScan\] initScan(1)")" -ge 1 ]; do
  tries=$((tries + 1))
  [ $tries -le 5 ] || fail "OK on the initial-scan prompt started no scan"
  send_key 22
  i=0
  while [ $i -lt 30 ] && [ "$(count "\[allScan\] initScan(1)")" -lt 1 ]; do
    kill -0 "$pid" 2>/dev/null || fail "the program ended before the initial scan"
    i=$((i + 1))
    sleep 0.1
  done
done
wait_for_count "\[onNotifyChannelChanged\] isHandover(0)" 1 "the first tune"

# The engine refreshes the guide of the playing service every 30 s of broadcast.
refresh="EVENT_EPG_UPDATE, serviceID([0-9]*)(0x[0-9a-f]*) tableID(80)"

if [ "$case" = steady ]; then
  # With good reception everywhere no search of any kind starts.
  never='\[stationSearch\]\|m_pPlayer->startHandover\|EVENT_2TS_RELAY_SEARCH_INFO\|isHandover : true\|SIGNAL WEAK'
  wait_for_count "$refresh" 4 "two minutes of broadcast" "$never"
  [ "$(count "$never")" -eq 0 ] || fail "good reception everywhere, yet a search"
  [ "$(count "\[getChannelInfo\] program (")" -ge 1 ] || fail "no programme on air for the banner"

  send_key 18  # the guide
  wait_for_count "\[makeEpgList\] END rowCount([1-9]" 1 "a filled guide"
  echo "two minutes of live TV on one channel; the guide lists the programmes"
  exit 0
fi

wait_for_count "SIGNAL WEAK" 1 "the weak notice" "isHandover : true"
wait_for_count "\[onNotifyHandoverComplete\] result(success) channelNumber(20->34)" 1 "the handover to the relay"
[ "$(line_of "SIGNAL WEAK")" -lt "$(line_of "\[onNotifyHandoverComplete\]")" ] ||
  fail "the handover came before the weak notice"
# Half a minute of broadcast on the relay, which is received better.
refreshes=$(count "$refresh")
wait_for_count "$refresh" $((refreshes + 1)) "thirty seconds on the relay" "channelNumber(34->20)"
[ "$(count "m_pPlayer->startHandover")" -eq 1 ] || fail "more than one search"
[ "$(count "isHandover : true -> false")" -eq 1 ] || fail "more than one handover"
echo "weak reception, then one handover to the relay, which plays on"
