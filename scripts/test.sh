#!/bin/sh
# Installs what is missing, configures, builds and runs the whole test suite
# under Wine. Usage: scripts/test.sh [build-dir]
# The tests are switched on whatever the folder held before (the demo configures a
# new folder without them).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELA_BUILD_TESTS=ON
cmake --build "$build"

# Start the test prefix's Wine server and desktop with no output attached, so that
# no test's output pipe is held open by a process that outlives the test.
"$build/wine-run.sh" cmd /c exit </dev/null >/dev/null 2>&1 || true
# Likewise the spooler suite's own prefix: its services, started by the first test
# that needs them, would otherwise hold that test's output open past its end.
VELA_WINEPREFIX="$build/spooler-wineprefix" "$build/wine-run.sh" cmd /c exit \
  </dev/null >/dev/null 2>&1 || true

# A failed test fails the run; only a test process that Wine failed to start runs
# once more, and the run counts those.
status=0
sh "$root/scripts/run-ctest.sh" "$build" || status=$?

# The persistent Wine servers and desktops of the test prefixes end with the run
# (the spooler suite has a prefix of its own).
for prefix in "$build/wineprefix" "$build/spooler-wineprefix"; do
  if [ -d "$prefix" ]; then
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  fi
done
exit "$status"
