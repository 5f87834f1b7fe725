#!/bin/sh
# Links the two ends of a socat pty pair into a Wine prefix as two COM ports, so
# that a program under Wine can talk to itself over a real serial line.
#
#   pty-pair.sh start <state-dir> <wine-prefix> <wine-run.sh> <comA> <comB>
#   pty-pair.sh stop  <state-dir> <wine-prefix> <wine-run.sh> <comA> <comB>
#
# start ends any pair an earlier run left behind, then starts socat in the
# background; stop ends exactly the socat that start recorded and removes the links.
set -eu

if [ $# -ne 6 ]; then
  echo "usage: $0 start|stop <state-dir> <wine-prefix> <wine-run.sh> <comA> <comB>" >&2
  exit 2
fi
action=$1
mkdir -p "$2"
state=$(cd "$2" && pwd)
prefix=$3
winerun=$4
comA=$5
comB=$6
pidfile=$state/socat.pid

# True when the pid is the socat that this state directory started.
is_our_socat() {
  [ -r "/proc/$1/cmdline" ] &&
    tr '\0' ' ' <"/proc/$1/cmdline" | grep -q "^socat .*link=$state/ptyA"
}

# True while the process runs; a zombie waiting for its reaper has ended.
is_running() {
  [ -r "/proc/$1/stat" ] && ! sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | grep -q '^Z'
}

stop_pair() {
  if [ -f "$pidfile" ]; then
    pid=$(cat "$pidfile")
    if is_our_socat "$pid"; then
      kill "$pid" 2>/dev/null || true
      tries=0
      while is_running "$pid" && [ $tries -lt 100 ]; do
        sleep 0.05
        tries=$((tries + 1))
      done
      if is_running "$pid"; then
        kill -9 "$pid" 2>/dev/null || true
      fi
    fi
    rm -f "$pidfile"
  fi
  rm -f "$state/ptyA" "$state/ptyB" "$prefix/dosdevices/$comA" "$prefix/dosdevices/$comB"
}

case "$action" in
  start)
    stop_pair
    # A fresh prefix must be made by Wine itself before anything is linked into it.
    if [ ! -f "$prefix/system.reg" ]; then
      "$winerun" cmd /c exit </dev/null >/dev/null 2>&1 || true
    fi
    if [ ! -d "$prefix/dosdevices" ]; then
      echo "no Wine prefix at $prefix" >&2
      exit 1
    fi
    setsid socat pty,raw,echo=0,link="$state/ptyA" pty,raw,echo=0,link="$state/ptyB" \
      </dev/null >"$state/socat.log" 2>&1 &
    echo $! >"$pidfile"
    tries=0
    while [ ! -e "$state/ptyA" ] || [ ! -e "$state/ptyB" ]; do
      if [ $tries -ge 200 ]; then
        echo "socat did not create the pty pair" >&2
        cat "$state/socat.log" >&2 || true
        stop_pair
        exit 1
      fi
      sleep 0.05
      tries=$((tries + 1))
    done
    ln -sfn "$state/ptyA" "$prefix/dosdevices/$comA"
    ln -sfn "$state/ptyB" "$prefix/dosdevices/$comB"
    ;;
  stop)
    stop_pair
    ;;
  *)
    echo "unknown action: $action" >&2
    exit 2
    ;;
esac
