#!/bin/sh
# Runs the serial memory benchmark under Wine over a socat pty pair linked into the
# build's Wine prefix as COM61 (the monitor's end) and COM62 (the firmware's).
# Usage: tools/serial-memory/run.sh [build-dir] [benchmark options]
#   options: --documents N (default 1000), --warm-up W (default 50), --lines L
#            (default 20), --bare-threads (a bare CreateThread loop instead of
#            documents: the growth that is Wine's own), --abandon (ClosePort in
#            the middle of each document, no EndDocPort)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
  build=$(cd "$1" && pwd)
  shift
fi
exec sh "$root/tools/with-pty-pair.sh" "$build" serial-memory-pty com61 com62 \
  "$build/wine-run.sh" "$build/bench-serial-memory.exe" \
  --host '\\.\COM61' --firmware '\\.\COM62' "$@"
