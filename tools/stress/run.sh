#!/bin/sh
# Runs the stress program under Wine with heap checking, with a socat pty pair
# linked into the build's Wine prefix as COM51 (the monitor's end) and COM52 (the
# simulated firmware's) for the hostile serial documents.
# Usage: tools/stress/run.sh [build-dir] [--seconds N] [--seed S]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
  build=$(cd "$1" && pwd)
  shift
fi
WINEDEBUG=warn+heap exec sh "$root/tools/with-pty-pair.sh" "$build" stress-pty com51 com52 \
  "$build/wine-run.sh" "$build/stress-ports.exe" --serial COM51 --firmware COM52 "$@"
