#!/bin/sh
# The host program's port commands end to end in the test prefix. Wine's spooler
# does not know the monitor, so the commands run it in-process on its real registry
# key in the prefix; a value under SERIALCOMM gives the machine a COM port.
#
#   port-commands.sh <wine-run.sh> <vela3dp-host.exe>
set -eu
winerun=$1
host=$2
key='HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\Vela3dp Print Monitor'
serialcomm='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
failures=0
retries=0

cleanup() {
  "$winerun" reg delete "$key" /f </dev/null >/dev/null 2>&1 || true
  "$winerun" reg delete "$serialcomm" /v VelaTestSerial57 /f </dev/null >/dev/null 2>&1 || true
}
trap cleanup EXIT
cleanup
"$winerun" reg add "$serialcomm" /v VelaTestSerial57 /t REG_SZ /d COM57 /f </dev/null >/dev/null 2>&1

# expect CODE TEXT ARGS...: the command ends with CODE and says TEXT.
expect() {
  code=$1
  text=$2
  shift 2
  status=0
  output=$("$winerun" "$host" "$@" </dev/null 2>&1) || status=$?
  # The program always says something: a failure with no word at all is Wine
  # failing to start it, which is tried once more and counted.
  if [ -z "$output" ] && [ "$status" -ne 0 ]; then
    retries=$((retries + 1))
    status=0
    output=$("$winerun" "$host" "$@" </dev/null 2>&1) || status=$?
  fi
  output=$(printf '%s\n' "$output" | tr -d '\r')
  if [ "$status" -ne "$code" ] || ! printf '%s\n' "$output" | grep -qF -- "$text"; then
    echo "FAILED: vela3dp-host $* -> exit $status (wanted $code), said:"
    printf '%s\n' "$output" | sed 's/^/    /'
    echo "    (wanted: $text)"
    failures=$((failures + 1))
  fi
}

expect 0 "(the monitor has no ports)" ports
expect 0 'Added the port "VelaLab:" for a USB printer' port add VelaLab:
expect 0 'for a serial printer on \\.\COM57' port add VelaCube: --serial COM57
expect 1 'is taken' port add velalab:
expect 1 'commas' port add 'Vela,2:'
expect 1 'no serial port COM58' port add VelaNew: --serial COM58
expect 1 'not a port of the Vela3dp Print Monitor' port set-serial VelaNone: COM57
expect 0 'Set the port "VelaLab:" for a serial printer on \\.\COM57' port set-serial VelaLab: com57
expect 0 'Set the port "VelaCube:" for a USB printer' port set-serial VelaCube: --usb
expect 0 'speed: 250000 baud; window: a window of 127 bytes' port set VelaLab: --baud 250000 --window 127
expect 0 'cancel G-code: M104 S0;M84' port set VelaLab: --cancel-gcode ' M104 S0; M84;'
expect 1 '12345 baud is not a standard speed' port set VelaLab: --baud 12345
expect 1 'at most 4096 bytes' port set VelaLab: --window 5000
expect 1 "holds '*'" port set VelaLab: --pause-gcode 'M25;M117 *'
expect 1 'is a port for a USB printer' port set VelaCube: --baud 115200
expect 1 'not a port of the Vela3dp Print Monitor' port set VelaNone: --baud 115200
expect 0 'speed: 115200 baud; window: one line at a time' port add VelaNew: --serial COM57 --baud 115200
expect 0 'Deleted the port "VelaNew:"' port delete VelaNew:
expect 0 'speed: 250000 baud; window: a window of 127 bytes' ports
expect 0 'cancel G-code: M104 S0;M84' ports
expect 0 'VelaLab:                     serial           \\.\COM57' ports
expect 0 'VelaCube:                    USB' ports
expect 0 'Deleted the port "VelaLab:"' port delete VelaLab:
expect 0 'Added the port "VelaLab:" for a serial printer' port add VelaLab: --serial COM57
expect 0 'cancel G-code: M108;M104 S0;M140 S0;M107;M84' ports
expect 0 'Deleted the port "VelaLab:"' port delete VelaLab:
expect 1 'not a port of the Vela3dp Print Monitor' port delete VelaLab:
expect 2 'port set-serial needs' port set-serial VelaCube:

if [ "$failures" -ne 0 ]; then
  echo "$failures port command checks failed"
  exit 1
fi
echo "ok: port commands end to end ($retries runs tried again after a silent Wine start-up failure)"
