#!/usr/bin/env bash
# The Windows setup under Wine: the sizes of the setup and of its uninstaller, and the time of
# a silent install, of a silent upgrade over the installed copy, and of a silent uninstall run
# in place (the registry's QuietUninstallString, which waits) and from its %TEMP% copy (the
# tray menu's way, measured until its temporary folder is gone). Headless, no display needed.
#   bench/setup_windows.sh [runs]   (builds the setup with scripts/package_windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
build=${WIN_BUILD_DIR:-build-windows}
setup=$(scripts/package_windows.sh | sed -n 's/^Built //p')
wine=$(sed -n 's/^TAVORIN_WINE:[A-Z]*=//p' "$build/CMakeCache.txt")
wineserver=$(dirname "$wine")/wineserver64
[ -x "$wineserver" ] || wineserver=$(dirname "$wine")/wineserver
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tavorin-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
"$wine" wineboot --init >/dev/null 2>&1 || true
user=$("$wine" cmd /c 'echo %USERNAME%' 2>/dev/null | tr -d '\r')
folder="C:\\users\\$user\\AppData\\Local\\Programs\\Tavorin"
here="$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/Tavorin"
temp="$WINEPREFIX/drive_c/users/$user/Temp"
ms() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }
declare -A times
for _ in $(seq "$runs"); do
  t=$(date +%s%N); "$wine" "$setup" /S; times[install]+="$(ms "$t") "
  t=$(date +%s%N); "$wine" "$setup" /S; times[upgrade]+="$(ms "$t") "
  uninstaller=$(stat -c %s "$here/unins000.exe")
  t=$(date +%s%N); "$wine" "$folder\\unins000.exe" /S "_?=$folder"
  times[uninstall_in_place]+="$(ms "$t") "
  while [ -e "$here" ]; do sleep 0.05; done
  times[folder_gone_in_place]+="$(ms "$t") "
  "$wine" "$setup" /S
  t=$(date +%s%N); "$wine" "$folder\\unins000.exe" /S
  while [ -e "$here" ] || [ -n "$(ls -A "$temp")" ]; do sleep 0.05; done
  times[uninstall_from_temp]+="$(ms "$t") "
done
median() { tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
echo "setup $(stat -c %s "$setup") bytes, unins000.exe $uninstaller bytes; medians of $runs runs:"
for step in install upgrade uninstall_in_place folder_gone_in_place uninstall_from_temp; do
  echo "  $step: $(echo "${times[$step]}" | median) ms"
done
