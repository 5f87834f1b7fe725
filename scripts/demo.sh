#!/bin/sh
# The main job on this machine: installs what is missing, builds the monitor and the
# host program, then, under Wine, prints a sample job on the simulated USB printer and
# a sample G-code file on simulated serial firmware over a pty pair, the host program
# playing the print spooler's part and running the monitor's own code.
#
# Usage: scripts/demo.sh [build-dir]     (default ./build)
#
# A build folder that is already configured keeps its own settings; a new one is
# configured without the tests. The demo runs in a Wine prefix of its own inside the
# build folder, whose processes end with the demo, and leaves its files in
# <build-dir>/demo.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
case $build in
  /*) ;;
  *) build=$(pwd)/$build ;;
esac

"$root/scripts/install-deps.sh"
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" >/dev/null
else
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELA_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target vela3dp-host

started=$(date +%s)
run=$build/wine-run.sh
host=$build/vela3dp-host.exe
work=$build/demo
WINEPREFIX=$build/demo-wineprefix
export WINEPREFIX
# The serial printer's end of the pair and the simulated firmware's end.
printer_com=com41
firmware_com=com42
pty_pair=$root/scripts/pty-pair.sh

wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

cleanup() {
  sh "$pty_pair" stop "$work/pty" "$WINEPREFIX" "$run" "$printer_com" "$firmware_com" \
    >/dev/null 2>&1 || true
  # The prefix's server and desktop end with the demo.
  "$wineserver" -k </dev/null >/dev/null 2>&1 || true
  "$wineserver" -w </dev/null >/dev/null 2>&1 || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$work"
cp "$root/samples/calibration-cube.gcode" "$work/"
cd "$work"
# A new prefix takes a few seconds to make; its server and desktop start detached.
"$run" cmd /c exit </dev/null >/dev/null 2>&1 || true

echo
echo "=== 1. A job stream of 2000 records, as a host application renders it"
"$run" "$host" make-job --records 2000 sample.job

echo
echo "=== 2. The job on the simulated USB printer"
"$run" "$host" print sample.job --print-seconds 3

echo
echo "=== 3. A calibration cube's G-code on simulated serial firmware at 115200 baud,"
echo "       found on automatic, and paused in the queue at line 400 for 3 s"
sh "$pty_pair" start "$work/pty" "$WINEPREFIX" "$run" "$printer_com" "$firmware_com"
echo "(a socat pty pair linked into the Wine prefix as ${printer_com} and ${firmware_com})"
"$run" "$host" print calibration-cube.gcode --serial "$printer_com" \
  --simulate-firmware "$firmware_com" --firmware-baud 115200 --pause-at-line 400 --pause-seconds 3

echo
echo "=== Done in $(($(date +%s) - started)) s after the build; files in $work"
