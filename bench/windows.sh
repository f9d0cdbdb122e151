#!/usr/bin/env bash
# Tavorin.exe under Wine beside the Linux program: size, start to first request, memory
# while hidden. Builds neither: run scripts/build_windows.sh and scripts/run.sh (or the test
# commands) first.
#   bench/windows.sh [build-windows/Tavorin.exe] [build/Tavorin] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build-windows/Tavorin.exe}
linux=${2:-build/Tavorin}
wine=$(sed -n 's/^TAVORIN_WINE:[A-Z]*=//p' "$(dirname "$exe")/CMakeCache.txt")
wineserver=$(dirname "$wine")/wineserver64
[ -x "$wineserver" ] || wineserver=$(dirname "$wine")/wineserver
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tavorin-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=" TAVORIN_WINE=$wine
export QTWEBENGINE_DISABLE_SANDBOX=1
source scripts/desktop.sh
desktop_start 1920x1080 fixedtray
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  desktop_stop
}
trap cleanup EXIT
# Wine's server and desktop process stay up between runs, as they do on a desktop where other
# programs run: the runs time the program's start, not Wine's.
"$wineserver" -p -d0 >/dev/null 2>&1 &
sleep 1  # listening before its first client
# Not "wineboot --init": under a persistent server it leaves the RpcSs service unable to
# start, and every later program then waits 10 s for it at start.
"$wine" wineboot >/dev/null 2>&1 || true
python3 bench/windows.py "$exe" "$linux" "${3:-7}"
