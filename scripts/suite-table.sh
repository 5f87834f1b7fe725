#!/bin/sh
# Prints the README's suite table figures from the last CTest run in a build folder:
# per suite (the test name's prefix up to its first dot) the number of tests and the
# sum of their times, then the totals.
# Usage: scripts/suite-table.sh BUILD-DIR   (after scripts/run-ctest.sh BUILD-DIR)
set -eu
log=$1/Testing/Temporary/LastTest.log
if [ ! -r "$log" ]; then
  echo "no CTest run in $1: run scripts/run-ctest.sh $1 first" >&2
  exit 2
fi
awk '
  /^[0-9]+\/[0-9]+ Test: / { sub(/^[0-9]+\/[0-9]+ Test: /, ""); name = $0; next }
  /^Test time = / {
    suite = name; sub(/\..*/, "", suite)
    if (!(suite in count)) order[++suites] = suite
    count[suite]++; seconds[suite] += $4; total += $4; tests++
  }
  END {
    printf "| suite | tests | time |\n|---|---|---|\n"
    for (i = 1; i <= suites; i++) {
      s = order[i]
      printf "| `%s` | %d | %.1f s |\n", s, count[s], seconds[s]
    }
    printf "all: %d tests, %.0f s of test time\n", tests, total
  }
' "$log"
