# Sourced: makes sure a virtual X display is reachable and exports DISPLAY.
# Starts Xvfb (1280x800, depth 24) when no display answers; the server ends with the shell
# that sourced this file.
omx_display_up() { xdpyinfo -display "$1" >/dev/null 2>&1; }

if [ -z "${DISPLAY:-}" ] || ! omx_display_up "$DISPLAY"; then
  for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
      OMX_XVFB_PID=$!
      trap 'kill $OMX_XVFB_PID 2>/dev/null || true' EXIT
      export DISPLAY=":$n"
      for _ in $(seq 1 50); do omx_display_up "$DISPLAY" && break; sleep 0.1; done
      break
    fi
  done
fi
omx_display_up "${DISPLAY:-}" || { echo "xvfb: no X display could be started" >&2; }
