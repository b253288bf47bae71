#!/usr/bin/env bash
# Starts or stops a native keysimd for the Wine tests of readerio.
#   keysimd_fixture.sh start|stop KEYSIMD STATE_DIR
# start: fresh state directory, keysimd in the background, its port in STATE_DIR/port.
set -euo pipefail
action="$1" keysimd="$2" state="$3"
case "$action" in
  start)
    if [ ! -x "$keysimd" ]; then
      echo "no native keysimd at $keysimd: build the native preset first" >&2
      exit 1
    fi
    if [ -f "$state/pid" ]; then kill "$(cat "$state/pid")" 2>/dev/null || true; fi
    rm -rf "$state"
    mkdir -p "$state"
    nohup "$keysimd" --state "$state" --port-file "$state/port" >"$state/log" 2>&1 &
    echo $! >"$state/pid"
    for _ in $(seq 100); do
      [ -s "$state/port" ] && exit 0
      sleep 0.05
    done
    echo "keysimd did not start:" >&2
    cat "$state/log" >&2
    exit 1
    ;;
  stop)
    [ -f "$state/pid" ] || exit 0
    pid="$(cat "$state/pid")"
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do
      # Gone, or a zombie waiting for whoever adopted it: either way it has stopped.
      stat="$(ps -o stat= -p "$pid" 2>/dev/null || true)"
      case "$stat" in "" | Z*) rm -f "$state/pid"; exit 0 ;; esac
      sleep 0.05
    done
    echo "keysimd $pid did not stop" >&2
    exit 1
    ;;
  *)
    echo "usage: $0 start|stop KEYSIMD STATE_DIR" >&2
    exit 2
    ;;
esac
