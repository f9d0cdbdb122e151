#!/usr/bin/env bash
# Cross-builds the Windows program, one statically linked build-windows/Tavorin.exe, with
# Debian's mingw-w64 (WIN_BUILD_DIR picks another folder).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh windows
build=${WIN_BUILD_DIR:-build-windows}
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DTAVORIN_WITH_QT=OFF -DTAVORIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target Tavorin
echo "Built $build/Tavorin.exe"
