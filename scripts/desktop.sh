# Sourced: brings up a virtual desktop (Xvfb, a window manager, a tray host) when asked,
# and tears it down on exit. Sets DISPLAY.
#   desktop_start [WIDTHxHEIGHT] [notray|fixedtray]
# fixedtray: a tray host of fixed width, which does not move when an icon docks (Wine
# routes clicks on a docked icon from where it was docked, so a panel that moves as it grows
# leaves Wine's icon deaf to the mouse).
desktop_pids=()

desktop_stop() {
  local pid
  for pid in "${desktop_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${desktop_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  desktop_pids=()
}

desktop_start() {
  local size=${1:-1920x1080} fifo dir
  dir=$(mktemp -d)
  fifo="$dir/displayfd"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -dpi 96 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  desktop_pids+=($!)
  local number
  read -r -t 20 number <"$fifo" || { echo "Xvfb did not start" >&2; return 1; }
  rm -rf "$dir"
  export DISPLAY=":$number"
  openbox --sm-disable >/dev/null 2>&1 &
  desktop_pids+=($!)
  if [ "${2:-}" != notray ]; then
    local width=(--widthtype request)
    [ "${2:-}" = fixedtray ] && width=(--widthtype pixel --width 48)
    trayer --edge bottom --align right "${width[@]}" --height 24 --SetDockType true \
           --expand false --transparent false >/dev/null 2>&1 &
    desktop_pids+=($!)
  fi
  # Ready once the window manager has announced itself and the tray host has its window.
  local i
  for i in $(seq 1 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' &&
      { [ "${2:-}" = notray ] || xwininfo -root -tree 2>/dev/null | grep -q '("trayer" "Trayer")'; } && break
    sleep 0.1
  done
  trap desktop_stop EXIT
}
