#!/bin/sh
# Installs what a fresh Debian machine lacks to build and test the monitor.
set -eu
# clang and libclang-rt-dev (libFuzzer and the sanitizer runtimes) build the native fuzz targets.
# nsis (makensis) builds the installer.
packages="cmake ninja-build g++-mingw-w64-x86-64 wine64 socat googletest procps util-linux clang libclang-rt-dev nsis"
missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
if [ -n "$missing" ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi
