#!/usr/bin/env bash
# Installs the Debian packages Tavorin needs to build, run and test, when missing.
# Usage: scripts/deps.sh [build|run|test|package|windows]...   (quiet when everything is present)
set -euo pipefail

build=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-webengine-dev libgl-dev dpkg-dev)
# imagemagick: the screenshots run.sh suggests.
run=(xvfb xauth openbox trayer x11-utils xdotool fonts-dejavu-core python3 qt6-translations-l10n
  imagemagick)
# xfce4-panel: a StatusNotifierItem host on a private D-Bus session; dbus-x11: the X11
# autolaunch that must not outlive the program; xterm: a program the user types into while
# the window pops up; apache2-bin: a real server's conditional answers (its binary and modules,
# without the system service that the apache2 package starts); openssl: the certificates of the
# desktop session test.
test=(googletest libgtest-dev libgmock-dev libbenchmark-dev clang-format imagemagick xterm
  dbus-daemon dbus-x11 xfce4-panel lintian appstream desktop-file-utils apache2-bin openssl)
# The Debian package (scripts/package.sh); imagemagick: the icons of a copy's package.
package=(dpkg-dev lintian imagemagick)
# The Windows cross build, its setup (nsis) and their tests under Wine (scripts/test_windows.sh).
windows=(cmake ninja-build g++-mingw-w64-x86-64 wine64 wine googletest python3 nsis
         xvfb xauth openbox trayer x11-utils xdotool)

wanted=()
sets=("$@")
[ ${#sets[@]} -eq 0 ] && sets=(build run test)
for set in "${sets[@]}"; do
  case "$set" in
    build) wanted+=("${build[@]}") ;;
    run) wanted+=("${run[@]}") ;;
    test) wanted+=("${test[@]}") ;;
    package) wanted+=("${package[@]}") ;;
    windows) wanted+=("${windows[@]}") ;;
    *) echo "deps.sh: unknown set '$set'" >&2; exit 2 ;;
  esac
done

missing=()
for pkg in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Missing packages: ${missing[*]} (run as root or install sudo)" >&2; exit 1; }
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
