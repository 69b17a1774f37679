#!/usr/bin/env bash
# The reach check of scripts/fuzz.sh: reads the coverage that a libFuzzer
# binary printed with -print_coverage=1 and checks that each function named
# was covered to at least a share of its edges.
#   scripts/fuzz-reach.sh COVERAGE_LOG [--share PERCENT] FUNCTION...
# The share is 15 percent unless given. FUNCTION is a C name or a C++ name
# as far as its opening parenthesis ("ns::Class::method"); FUNCTION@N asks
# N percent of that one. Where several functions match (overloads, static
# functions of one name in two files) their edges count together.
# Prints one line per function that falls short, with the edges covered,
# and exits 1 when there is one; exits 2 when the log has no coverage.
set -euo pipefail
log=$1
shift
default=15
if [ "${1:-}" = --share ]; then
  default=$2
  shift 2
fi
grep -q 'COVERED_FUNC: ' "$log" || { echo "no coverage in $log"; exit 2; }
status=0
for entry in "$@"; do
  want=${entry%@*}
  percent=$default
  [ "$want" != "$entry" ] && percent=${entry##*@}
  awk -v want="$want" -v percent="$percent" '
    /^(UN)?COVERED_FUNC: / {
      name = $6; for (i = 7; i < NF; ++i) name = name " " $i
      if (name != want && index(name, want "(") != 1 && index(name, " " want "(") == 0) next
      split($5, e, "/")
      found = 1; covered += e[1]; edges += e[2]
    }
    END {
      if (!found) { printf "%s (not in the binary)\n", want; exit 1 }
      if (edges == 0 || covered * 100 < percent * edges) {
        printf "%s (%d/%d edges, %s%% wanted)\n", want, covered, edges, percent; exit 1
      }
    }' "$log" || status=1
done
exit $status
