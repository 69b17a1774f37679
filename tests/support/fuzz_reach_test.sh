#!/usr/bin/env bash
# The reach check tells a harness from a hollow one (one that hands its
# parser empty payloads, or only opens and closes a file): over the same
# seeds, the harness's coverage must meet its reach list and the hollow
# harness's must not.
#   fuzz_reach_test.sh REACH_SCRIPT MANIFEST HOLLOW WORK_DIR
# MANIFEST is the harness's fuzz-targets/NAME.txt (see cmake/HolvikFuzz.cmake):
# its binary, seeds, reach list and libFuzzer options are the ones
# scripts/fuzz.sh uses. Where HOLVIK_FUZZ_SEEDS_FROM names another build of
# the tree, the seeds made at test time are taken from there, as fuzz.sh does.
set -uo pipefail
reach=$1 manifest=$2 hollow=$3 work=$4
build=$(cd "$(dirname "$manifest")/.." && pwd)
seed_build=$build
if [ -n "${HOLVIK_FUZZ_SEEDS_FROM:-}" ]; then seed_build=$(cd "$HOLVIK_FUZZ_SEEDS_FROM" && pwd); fi
rm -rf "$work"
mkdir -p "$work/seeds"
harness= status=0
reaches=() share=() options=()
while IFS= read -r line; do
  case $line in
    "seed "*)
      seed=${line#seed }
      case $seed in "$build"/*) seed=$seed_build/${seed#"$build"/} ;; esac
      if [ -d "$seed" ]; then cp -r "$seed" "$work/seeds/"
      elif [ -f "$seed" ]; then cp "$seed" "$work/seeds/"
      else echo "FAIL: seed $seed is missing (its fixture has not run)"; exit 1; fi ;;
    own-seeds) HOLVIK_FUZZ_WRITE_SEEDS="$work/seeds/own" "$harness" > /dev/null 2>&1 ||
                 { echo "FAIL: $harness did not write its seeds"; exit 1; } ;;
    "reach "*) reaches+=("${line#reach }") ;;
    "reach-share "*) share=(--share "${line#reach-share }") ;;
    "option "*) options+=("${line#option }") ;;
    *) harness=$line ;;
  esac
done < "$manifest"
[ ${#reaches[@]} -gt 0 ] || { echo "FAIL: $manifest names no function"; exit 1; }
for binary in "$harness" "$hollow"; do
  log=$work/$(basename "$binary").coverage.log
  "$binary" -runs=0 -print_coverage=1 -print_funcs=0 "${options[@]}" -artifact_prefix="$work/" \
      "$work/seeds" > "$log" 2>&1 ||
    { echo "FAIL: $binary did not run over its seeds (see $log)"; status=1; continue; }
  if verdict=$("$reach" "$log" "${share[@]}" "${reaches[@]}"); then met=1; else met=0; fi
  if [ "$binary" = "$harness" ] && [ $met = 0 ]; then
    echo "FAIL: the harness's seeds do not meet its reach list: $(echo $verdict)"; status=1
  elif [ "$binary" = "$hollow" ] && [ $met = 1 ]; then
    echo "FAIL: the hollow harness $(basename "$hollow") meets the reach list ${reaches[*]}"; status=1
  else
    echo "ok: $(basename "$binary"): $([ $met = 1 ] && echo met || echo "not met: $(echo $verdict)")"
  fi
done
exit $status
