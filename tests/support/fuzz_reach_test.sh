#!/usr/bin/env bash
# The reach check tells a harness from one that feeds its parser nothing:
# over the same seeds, the harness's coverage must meet its reach list and
# the crippled harness's must not.
#   fuzz_reach_test.sh REACH_SCRIPT HARNESS CRIPPLED SEED_DIR WORK_DIR FUNCTION...
set -uo pipefail
reach=$1 harness=$2 crippled=$3 seeds=$4 work=$5
shift 5
rm -rf "$work"
mkdir -p "$work"
status=0
for binary in "$harness" "$crippled"; do
  log=$work/$(basename "$binary").coverage.log
  "$binary" -runs=0 -print_coverage=1 -print_funcs=0 -artifact_prefix="$work/" "$seeds" > "$log" 2>&1 ||
    { echo "FAIL: $binary did not run over $seeds (see $log)"; status=1; continue; }
  if verdict=$("$reach" "$log" "$@"); then met=1; else met=0; fi
  if [ "$binary" = "$harness" ] && [ $met = 0 ]; then
    echo "FAIL: the harness's seeds do not meet its reach list: $verdict"; status=1
  elif [ "$binary" = "$crippled" ] && [ $met = 1 ]; then
    echo "FAIL: a harness that hands its parser nothing meets the reach list $*"; status=1
  else
    echo "ok: $(basename "$binary"): $([ $met = 1 ] && echo met || echo "not met: $(echo $verdict)")"
  fi
done
exit $status
