#!/usr/bin/env bash
# Builds Tavorin.exe and starts it under Wine watching URL, or a demo page served on
# 127.0.0.1, in a Wine prefix of its own (build-windows/wine). Without a display it brings up
# a virtual desktop and says how to look at it.
#   scripts/run_windows.sh [URL]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/build_windows.sh >/dev/null
build=${WIN_BUILD_DIR:-build-windows}
wine=$(sed -n 's/^TAVORIN_WINE:[A-Z]*=//p' "$build/CMakeCache.txt")

if [ -z "${DISPLAY:-}" ]; then
  source scripts/desktop.sh
  desktop_start 1920x1080 fixedtray
  echo "Virtual desktop on DISPLAY=$DISPLAY. To look at it:"
  echo "  DISPLAY=$DISPLAY import -window root shot.png     (a screenshot; package imagemagick)"
fi

source scripts/run_common.sh
run_watch_url "${1:-}"

# No offer to install Mono or Gecko (pages then stay blank: Debian has no Gecko for Wine).
export WINEPREFIX=${WINEPREFIX:-$root/$build/wine} WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
folder=$build/run
mkdir -p "$folder"
cp "$build/Tavorin.exe" "$folder/Tavorin.exe"
printf '[Param]\r\nPage=%s\r\n' "$url" >"$folder/Param.ini"
echo "Tavorin.exe is watching $url (quit from its tray icon's menu, or Ctrl+C)"
"$wine" "$root/$folder/Tavorin.exe" &
pids+=($!)
wait "${pids[-1]}"
