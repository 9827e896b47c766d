#!/usr/bin/env bash
# display_fixture.sh start|stop BUILD: the X display the tests share. start keeps the display
# that DISPLAY names when it answers, else starts Xvfb (1280x800, depth 24) on a free number;
# either way it writes the name into BUILD/test-display, where the tests read it. stop ends an
# Xvfb that start started.
set -euo pipefail
build=$2
answers() { xdpyinfo -display "$1" >/dev/null 2>&1; }
case $1 in
start)
  if [ -n "${DISPLAY:-}" ] && answers "$DISPLAY"; then
    echo "$DISPLAY" >"$build/test-display"
    exit 0
  fi
  for n in $(seq 150 199); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    setsid Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 </dev/null &
    echo $! >"$build/test-display.pid"
    for _ in $(seq 1 100); do
      if answers ":$n"; then
        echo ":$n" >"$build/test-display"
        exit 0
      fi
      sleep 0.1
    done
    kill "$(cat "$build/test-display.pid")" 2>/dev/null || true
    rm -f "$build/test-display.pid"
  done
  echo "display_fixture: no X display could be started" >&2
  exit 1
  ;;
stop)
  if [ -f "$build/test-display.pid" ]; then
    kill "$(cat "$build/test-display.pid")" 2>/dev/null || true
    rm -f "$build/test-display.pid"
  fi
  rm -f "$build/test-display"
  ;;
esac
