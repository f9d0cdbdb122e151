#!/usr/bin/env bash
# Builds the Windows setup: build-windows/Tavorin-<version>-setup.exe, or, given the folder
# "Create local Tavorin" wrote (<name>.exe, Info.ico, Param.ini), <name>-<version>-setup.exe
# for that copy. Usage: scripts/package_windows.sh [copy-folder]   (WIN_BUILD_DIR: the build)
# SETUP_VERSION overrides the version the setup carries (the tests build a later one).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${WIN_BUILD_DIR:-build-windows}
scripts/deps.sh windows
[ -f "$build/CMakeCache.txt" ] || WIN_BUILD_DIR=$build scripts/build_windows.sh
cmake --build "$build" -j"$(nproc)" --target Tavorin >/dev/null
build=$(cd "$build" && pwd)
defines=(-DBUILD_NSH="$build/generated/build.nsh")
[ -n "${SETUP_VERSION:-}" ] && defines+=(-DVERSION="$SETUP_VERSION")
version=${SETUP_VERSION:-$(sed -n 's/^ *!define VERSION "\(.*\)"$/\1/p' "$build/generated/build.nsh")}
if [ $# -eq 0 ]; then
  name=Tavorin
  defines+=(-DPROGRAM="$build/Tavorin.exe")
else
  folder=$(cd "$1" && pwd)
  programs=("$folder"/*.exe)
  [ ${#programs[@]} -eq 1 ] && [ -f "${programs[0]}" ] ||
    { echo "package_windows.sh: $1 must hold exactly one program (<name>.exe)" >&2; exit 2; }
  name=$(basename "${programs[0]}" .exe)
  defines+=(-DPROGRAM="${programs[0]}")
  [ -f "$folder/Info.ico" ] && defines+=(-DICON="$folder/Info.ico")
  [ -f "$folder/Param.ini" ] && defines+=(-DPARAM="$folder/Param.ini")
fi
out="$build/$name-$version-setup.exe"
makensis -V2 -WX -INPUTCHARSET UTF8 -DNAME="$name" -DOUTFILE="$out" "${defines[@]}" \
  packaging/windows/setup.nsi
echo "Built $out"
