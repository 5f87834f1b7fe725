#!/bin/sh
# Installs what is missing, configures, builds and runs the whole test suite
# under Wine. Usage: scripts/test.sh [build-dir]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"

# Start the test prefix's Wine server and desktop with no output attached, so that
# no test's output pipe is held open by a process that outlives the test.
"$build/wine-run.sh" cmd /c exit </dev/null >/dev/null 2>&1 || true

# A test process that Wine fails to start (it ends at once, before the test prints
# anything) is run a second time; a test that fails twice fails the run.
status=0
(cd "$build" && ctest --output-on-failure --timeout 300 --repeat until-pass:2) || status=$?

# The persistent Wine server and desktop of the test prefix end with the run.
WINEPREFIX="$build/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
exit "$status"
