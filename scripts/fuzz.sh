#!/bin/sh
# Builds the native fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each from its seed corpus in fuzz/corpus/.
# Fails on any finding; a finding's input is kept in <build>/findings/.
# Usage: scripts/fuzz.sh [--seconds N] [--build DIR] [--no-build|--build-only] [target...]
#   --seconds N  time for each target (default 60)
#   --build DIR  build folder of the native targets (default ./build-fuzz)
#   --no-build   run what DIR holds; --build-only: build and run nothing
#   target       names below fuzz/targets/ without .cpp (default: every target)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
build=$root/build-fuzz
configure=1
run=1
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --no-build) configure=0; shift ;;
    --build-only) run=0; shift ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
targets="$*"
if [ -z "$targets" ]; then
  targets=$(cd "$root/fuzz/targets" && ls *.cpp | sed 's/\.cpp$//')
fi

if [ "$configure" -eq 1 ]; then
  cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build "$build" -j2
fi
[ "$run" -eq 1 ] || exit 0

status=0
for target in $targets; do
  # New inputs go to the build folder; the repository's seeds are only read.
  work=$build/corpus/$target
  findings=$build/findings/$target
  mkdir -p "$work" "$findings"
  log=$build/$target.log
  if "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
       -print_final_stats=1 -artifact_prefix="$findings/" "$work" "$root/fuzz/corpus/$target" \
       >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $target: $runs executions in ${seconds} s, no finding"
  else
    status=1
    echo "fuzz $target: FINDING (log $log, input in $findings)"
    grep -E 'ERROR|invariant broken|runtime error|SUMMARY' "$log" | head -5
  fi
done
exit "$status"
