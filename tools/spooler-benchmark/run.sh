#!/bin/sh
# Runs the spooler benchmark under Wine in a prefix of its own
# (<build>/spooler-benchmark-wineprefix), with four socat pty pairs linked into it as
# COM61/COM62 .. COM67/COM68 (the monitor's ends, the firmwares' ends); the pairs,
# the prefix's Wine server and everything it started end with the run.
# Usage: tools/spooler-benchmark/run.sh [build-dir] [--lines N] [--printers 1..4] [--no-pacing]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
  build=$(cd "$1" && pwd)
  shift
fi
VELA_WINEPREFIX=$build/spooler-benchmark-wineprefix
export VELA_WINEPREFIX
pairs=$root/tests/spooler/pty-pairs.sh
sh "$pairs" start "$build" "$VELA_WINEPREFIX"
trap 'sh "$pairs" stop "$build" "$VELA_WINEPREFIX"; WINEPREFIX="$VELA_WINEPREFIX" /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT INT TERM
"$build/wine-run.sh" "$build/tools/spooler-benchmark/spooler-benchmark.exe" "$@"
