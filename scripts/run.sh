#!/usr/bin/env bash
# Builds Tavorin and starts it watching URL, or a demo page served on 127.0.0.1.
# Without a display it brings up a virtual desktop and says how to look at it.
#   scripts/run.sh [URL]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/deps.sh build run
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j"$(nproc)" --target Tavorin

if [ -z "${DISPLAY:-}" ]; then
  source scripts/desktop.sh
  desktop_start
  # trayer sits in the bottom-right corner of the 1920x1080 screen; the icon is its only one.
  echo "Virtual desktop on DISPLAY=$DISPLAY (1920x1080). To look at it and use it:"
  echo "  DISPLAY=$DISPLAY import -window root shot.png           (a screenshot)"
  echo "  DISPLAY=$DISPLAY xdotool mousemove 1908 1068 click 1    (left click on the tray icon,"
  echo "      bottom-right corner: hides or shows the window)"
  echo "  DISPLAY=$DISPLAY xdotool mousemove 1908 1068 click 3    (right click: the menu, then"
  echo "      e.g. DISPLAY=$DISPLAY xdotool key Down Return to pick its first item)"
fi

source scripts/run_common.sh
run_watch_url "${1:-}"

# The program reads Param.ini and Info.ico beside itself: give it a folder of its own.
folder=build/run
mkdir -p "$folder"
cp build/Tavorin "$folder/Tavorin"
printf '[Param]\nPage=%s\n' "$url" >"$folder/Param.ini"
echo "Tavorin is watching $url (quit from its tray icon's menu, or Ctrl+C)"
# The browser engine's sandbox cannot run as root.
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
"$root/$folder/Tavorin" &
pids+=($!)
wait "${pids[-1]}"
