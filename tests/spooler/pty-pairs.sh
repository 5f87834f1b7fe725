#!/bin/sh
# Links the spooler suite's four serial lines into its Wine prefix: socat pty pairs
# as COM61/COM62, COM63/COM64, COM65/COM66 and COM67/COM68 (the monitor's end, the
# firmware's end), or unlinks them.
# Usage: tests/spooler/pty-pairs.sh start|stop BUILD-DIR PREFIX
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
action=$1
build=$2
VELA_WINEPREFIX=$3
export VELA_WINEPREFIX
status=0
for pair in 1 2 3 4; do
  host=com$((59 + 2 * pair))
  far=com$((60 + 2 * pair))
  sh "$root/scripts/pty-pair.sh" "$action" "$VELA_WINEPREFIX-pty$pair" "$VELA_WINEPREFIX" \
    "$build/wine-run.sh" "$host" "$far" || status=$?
done
exit "$status"
