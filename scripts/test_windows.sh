#!/usr/bin/env bash
# Cross-builds Tavorin.exe, the core library and its tests for Windows (mingw-w64), runs the
# tests under Wine, headless, in a throw-away Wine prefix, then drives Tavorin.exe and its
# setups (scripts/package_windows.sh) under Wine on a private virtual desktop.
# scripts/test.sh calls it last.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! scripts/deps.sh windows; then
  echo "== windows: skipped, the mingw-w64, Wine and GoogleTest source packages are missing" >&2
  exit 0
fi
start=$SECONDS
build=${WIN_BUILD_DIR:-build-windows}

strict=OFF
[ -n "${CI:-}" ] && strict=ON
echo "== windows: build"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DTAVORIN_WITH_QT=OFF -DTAVORIN_BUILD_BENCH=OFF -DTAVORIN_STRICT=$strict >/dev/null
cmake --build "$build" -j"$(nproc)"
built=$SECONDS

# The Wine that configure found; it runs every test (CMAKE_CROSSCOMPILING_EMULATOR).
wine=$(sed -n 's/^TAVORIN_WINE:[A-Z]*=//p' "$build/CMakeCache.txt")
wineserver=$(dirname "$wine")/wineserver64
[ -x "$wineserver" ] || wineserver=$(dirname "$wine")/wineserver
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tavorin-wine.XXXXXX")
export WINEPREFIX
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# No console noise, no display, no offer to install Mono or Gecko, a fixed ANSI code page.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY

echo "== windows: tests under Wine"
# The prefix is made once up front so that parallel tests do not race to create it.
"$wine" wineboot --init >/dev/null 2>&1 || true
# Its server keeps the desktop it made without a display; tests with windows need a new one.
"$wineserver" -w 2>/dev/null || true
ctest --test-dir "$build" --output-on-failure -j2 --timeout 600
unit=$SECONDS

echo "== windows: Tavorin.exe under Wine on a virtual desktop"
# Wine's desktop process started without a display above: start afresh with one.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true
source scripts/desktop.sh
desktop_start 1920x1080 fixedtray
trap 'desktop_stop; cleanup' EXIT
TAVORIN_WINE="$wine" timeout 540 python3 tests/e2e/test_windows.py "$build/Tavorin.exe"
echo "== windows: the setups under Wine"
TAVORIN_WINE="$wine" WIN_BUILD_DIR="$build" timeout 540 \
  python3 tests/e2e/test_windows_setup.py "$build/Tavorin.exe"
echo "== windows: build $((built - start)) s, unit tests under Wine $((unit - built)) s," \
  "end to end $((SECONDS - unit)) s"
