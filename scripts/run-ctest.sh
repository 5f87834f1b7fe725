#!/bin/sh
# Runs the whole suite with CTest in a build folder: every failure fails the run.
# The one exception is a test process that Wine failed to start: it printed nothing
# (a test prints something first) and ended within a second. Such tests, and only
# they, run once more, and the run says how many did. A run that finds no test
# fails too: a build folder configured without the tests proves nothing.
# Usage: scripts/run-ctest.sh BUILD-DIR [ctest options]
set -eu
build=$1
shift

status=0
(cd "$build" && ctest --output-on-failure --no-tests=error --timeout 300 "$@") || status=$?
if [ "$status" -eq 0 ]; then
  echo "0 tests retried after a silent Wine start-up failure"
  exit 0
fi

# The names of the failed tests with no output and a time under a second.
silent=$(awk '
  /^[0-9]+\/[0-9]+ Test: / { sub(/^[0-9]+\/[0-9]+ Test: /, ""); name = $0; printed = 0; seconds = 0; next }
  /^Output:$/ { getline; inside = 1; next }
  inside && /^<end of output>$/ { inside = 0; next }
  inside { if ($0 != "") printed = 1; next }
  /^Test time = / { seconds = $4; next }
  /^Test Failed/ { if (!printed && seconds < 1) print name }
' "$build/Testing/Temporary/LastTest.log" 2>/dev/null) || true
failed=$(grep -c . "$build/Testing/Temporary/LastTestsFailed.log" 2>/dev/null) || true

retried=0
if [ -n "$silent" ]; then
  retried=$(printf '%s\n' "$silent" | grep -c .)
  pattern=$(printf '%s\n' "$silent" | sed 's/[][\\.^$*+?(){}|]/\\&/g' | paste -sd'|' -)
  retry_status=0
  (cd "$build" && ctest --output-on-failure --no-tests=error --timeout 300 "$@" -R "^($pattern)\$") ||
    retry_status=$?
  # Any other failure still fails the run.
  if [ "$retried" -eq "${failed:-0}" ]; then
    status=$retry_status
  fi
fi
echo "$retried tests retried after a silent Wine start-up failure"
exit "$status"
