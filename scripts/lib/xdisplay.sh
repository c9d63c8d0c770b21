# shellcheck shell=bash
# A throwaway X display with a notification area, for the end-to-end test of
# the window. Source this file, then call xdisplay_start: it starts Xvfb on a
# display number no one uses (Xvfb picks it and reports it) and trayer on it
# as the notification area, and sets XDISPLAY (":N"). xdisplay_stop ends
# both; it is safe to call more than once.

xdisplay_start() {
  local number_file
  number_file=$(mktemp "${TMPDIR:-/tmp}/pelvar-xdisplay.XXXXXX")
  # -displayfd: Xvfb takes the first free number itself and writes it once
  # it accepts connections, so two runs on one machine never collide.
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  XDISPLAY=
  for _ in $(seq 1 100); do
    if [ -s "$number_file" ]; then
      XDISPLAY=:$(tr -d '\n' <"$number_file")
      break
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$number_file"
  if [ -z "$XDISPLAY" ]; then
    echo "xdisplay: Xvfb did not start" >&2
    return 1
  fi

  DISPLAY=$XDISPLAY trayer --edge top --align right --widthtype request --height 24 \
    >/dev/null 2>&1 &
  TRAYER_PID=$!
  # trayer is ready once its panel window exists.
  for _ in $(seq 1 100); do
    if xwininfo -display "$XDISPLAY" -root -tree 2>/dev/null | grep -q '("panel" "trayer")'; then
      break
    fi
    if ! kill -0 "$TRAYER_PID" 2>/dev/null; then
      echo "xdisplay: trayer did not start" >&2
      return 1
    fi
    sleep 0.1
  done
  export XDISPLAY XVFB_PID TRAYER_PID
}

xdisplay_stop() {
  local pid
  for pid in ${TRAYER_PID:-} ${XVFB_PID:-}; do
    if kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  TRAYER_PID=
  XVFB_PID=
}
