#!/bin/sh
# Checks a shipped DLL's tables: the single export (InitializePrintMonitor2 for the
# monitor, InitializePrintMonitorUI for its port screens), and imports only from
# Windows system DLLs, each function present in Wine's own DLLs (a missing import
# would keep Wine, and older Windows, from loading the DLL). The printer API comes
# from winspool.drv: spoolss.dll exports it too, for the spooler's own process
# (Wine's aborts), and gives a monitor only the helpers of that process.
# With EXPORT "none", a program: no export, the same imports.
# Usage: check-dll.sh DLL|PROGRAM [EXPORT|none]
set -eu
dll=$1
expected=${2:-InitializePrintMonitor2}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
winedir=${WINE_DLL_DIR:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}
allowed="advapi32.dll kernel32.dll msvcrt.dll setupapi.dll shell32.dll spoolss.dll winspool.drv winusb.dll user32.dll"
spooler_helpers="ImpersonatePrinterClient RevertToPrinterSelf"
[ "$expected" != none ] || expected=""
status=0
# Files of their own, so that checks of both DLLs may run at once.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/{print $NF}' | grep -v Table || true)
if [ "$exports" != "$expected" ]; then
  echo "unexpected exports: $exports"
  status=1
fi

"$objdump" -p "$dll" | awk '
  /DLL Name:/ { dll=tolower($3); next }
  /^\t[0-9a-f]+\t *[0-9]+ +[A-Za-z_]/ && dll != "" { print dll, $NF }
  /^$/ { }' >"$work/imports.txt"
if [ ! -s "$work/imports.txt" ]; then
  echo "no imports read from $dll"
  status=1
fi
for function in $(awk '$1 == "spoolss.dll" { print $2 }' "$work/imports.txt"); do
  case " $spooler_helpers " in
    *" $function "*) ;;
    *) echo "printer API from spoolss.dll instead of winspool.drv: $function"; status=1 ;;
  esac
done
for name in $(cut -d' ' -f1 "$work/imports.txt" | sort -u); do
  case " $allowed " in
    *" $name "*) ;;
    *) echo "import from a DLL that is not a system DLL: $name"; status=1 ;;
  esac
  if [ -d "$winedir" ]; then
    winedll="$winedir/$name"
    if [ ! -f "$winedll" ]; then
      echo "Wine has no $name"
      status=1
      continue
    fi
    "$objdump" -p "$winedll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/{print $NF}' >"$work/wine-exports.txt"
    for function in $(awk -v d="$name" '$1 == d { print $2 }' "$work/imports.txt"); do
      if ! grep -qx "$function" "$work/wine-exports.txt"; then
        echo "Wine's $name lacks $function"
        status=1
      fi
    done
  fi
done
count=$(wc -l <"$work/imports.txt")
if [ "$status" -eq 0 ]; then
  echo "ok: exports \"$expected\", $count imports from system DLLs, all present in Wine"
fi
exit "$status"
