#!/bin/sh
# Runs a command with a socat pty pair linked into a build's Wine prefix as two COM
# ports, and unlinks it afterwards, however the command ends.
# Usage: tools/with-pty-pair.sh BUILD-DIR STATE-NAME comA comB COMMAND [ARGS...]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
state=$build/$2
host=$3
far=$4
shift 4
pair=$root/scripts/pty-pair.sh
sh "$pair" start "$state" "$build/wineprefix" "$build/wine-run.sh" "$host" "$far"
trap 'sh "$pair" stop "$state" "$build/wineprefix" "$build/wine-run.sh" "$host" "$far"' EXIT INT TERM
"$@"
