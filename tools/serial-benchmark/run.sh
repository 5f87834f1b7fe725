#!/bin/sh
# Runs the serial benchmark under Wine over a socat pty pair linked into the
# build's Wine prefix as COM31 (the monitor's end) and COM32 (the firmware's).
# Usage: tools/serial-benchmark/run.sh [build-dir] [benchmark options]
#   options: --lines N | --file PATH (G-code to stream), --no-pacing,
#            --faithful (the firmware models its 128-byte receive buffer and 4 command slots),
#            --baseline (a minimal synchronous host instead of the monitor: the rig's ceiling)
#            --ok-text TEXT, --window BYTES (the port's StreamWindow), --corrupt SHARE,
#            --command-us N (the firmware's time a command, default 200),
#            --heat-cancel SECONDS (a job deleted 8 s into a heat-up of that length:
#            the time from the deletion to the end of the document)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
  build=$(cd "$1" && pwd)
  shift
fi
exec sh "$root/tools/with-pty-pair.sh" "$build" benchmark-pty com31 com32 \
  "$build/wine-run.sh" "$build/tools/serial-benchmark/serial-benchmark.exe" \
  --host '\\.\COM31' --firmware '\\.\COM32' "$@"
