# Sourceable: a private X server for Wine programs that need a display (media graphs, window
# screenshots). Nothing here touches a server it did not start.
#   . scripts/xvfb.sh
#   xvfb_start || exit 1     # exports DISPLAY; XVFB_PID holds the server's pid
#   ...
#   xvfb_stop                # stops that server by its pid
# XVFB_SCREEN sets the screen (default 1920x1080x24).

xvfb_start() {
  local folder waited=0
  folder=$(mktemp -d)
  # -displayfd: the server picks a free display and writes its number once it accepts clients.
  Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1920x1080x24}" -nolisten tcp -noreset \
    3> "$folder/display" > "$folder/log" 2>&1 &
  XVFB_PID=$!
  while ! grep -q '^[0-9][0-9]*$' "$folder/display" 2>/dev/null; do
    if ! kill -0 "$XVFB_PID" 2>/dev/null || [ $waited -ge 100 ]; then
      echo "xvfb: the X server did not start: $(cat "$folder/log")" >&2
      kill "$XVFB_PID" 2>/dev/null || true
      rm -rf "$folder"
      XVFB_PID=
      return 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  export DISPLAY=":$(head -n 1 "$folder/display")"
  export XVFB_PID
  rm -rf "$folder"
}

xvfb_stop() {
  [ -n "${XVFB_PID:-}" ] || return 0
  kill "$XVFB_PID" 2>/dev/null || true
  wait "$XVFB_PID" 2>/dev/null || true
  XVFB_PID=
}
