#!/usr/bin/env bash
# Builds the Debian package build/tavorin_<version>_amd64.deb and checks it with lintian.
# BUILD_DIR picks the build folder (default build; an existing one keeps its settings).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh build package
build=${BUILD_DIR:-build}
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVORIN_WITH_QT=ON \
    -DTAVORIN_BUILD_TESTS=OFF -DTAVORIN_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/tavorin_*_amd64.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tavorin_*_amd64.deb)
# Errors fail the command; the warnings left are explained in the README.
lintian --fail-on error "$deb" >&2
echo "$deb"
