#!/usr/bin/env bash
# Builds the Debian package build/tavorin_<version>_amd64.deb and checks it with lintian.
# BUILD_DIR picks the build folder (default build; an existing one keeps its settings).
#
# scripts/package.sh COPY-FOLDER builds instead the package of a customised copy, from the
# folder "Create local Tavorin" wrote (~/Tavorin/<name>/: the program <name>, tavorin-viewer, Param.ini and
# Info.ico when there is one): build/<package>_<version>_amd64.deb, the package named after
# the copy, installable beside tavorin. MAINTAINER="Name <address>" names its maintainer.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}

fail() {
  echo "package.sh: $*" >&2
  exit 1
}

# The hicolor icons of the copy: each standard size the ICO holds exactly, the smaller ones
# scaled down from its largest image (BMP or PNG images alike).
copy_icons() {
  local ico=$1 root=$2 pkg=$3 frames largest size frame index width _
  frames=$(identify -format '%p %w %h %z\n' "$ico" 2>/dev/null) ||
    fail "$ico is not an icon file that can be read"
  largest=$(awk '$2 == $3 { print $2 * 100 + $4, $1, $2 }' <<<"$frames" | sort -n | tail -1)
  [ -n "$largest" ] || fail "$ico holds no square image"
  read -r _ index width <<<"$largest"
  for size in 16 22 24 32 48 64 128 256; do
    frame=$(awk -v s="$size" '$2 == s && $3 == s { print $4, $1 }' <<<"$frames" | sort -n |
      tail -1 | cut -d' ' -f2)
    if [ -n "$frame" ]; then
      set -- "${ico}[$frame]"
    elif [ "$size" -lt "$width" ]; then
      set -- "${ico}[$index]" -resize "${size}x$size"
    else
      continue
    fi
    mkdir -p "$root/usr/share/icons/hicolor/${size}x$size/apps"
    convert "$@" -strip "PNG32:$root/usr/share/icons/hicolor/${size}x$size/apps/$pkg.png"
  done
}

package_copy() {
  local folder name pkg version maintainer root exe deb depends other
  folder=$(realpath -e "$1") || fail "no folder $1"
  name=$(basename "$folder")
  exe=$folder/$name
  [[ -f $exe && -x $exe ]] || fail "$folder holds no program named $name"
  readelf -h "$exe" 2>/dev/null | grep -q 'Machine:.*X86-64' ||
    fail "$exe is not a Linux program for amd64 (a Windows copy gets the Windows setup)"
  [ -f "$folder/Param.ini" ] || fail "$folder holds no Param.ini"
  [[ -f $folder/tavorin-viewer && -x $folder/tavorin-viewer ]] ||
    fail "$folder holds no tavorin-viewer, the part that shows pages: create the copy again"
  # Debian's rule: lowercase letters, digits, + - . (at least two, the first a letter or
  # digit). Capitals are lowered, blanks and _ become -; a name with anything else gives none.
  # So the name itself needs no quoting below beyond its blanks.
  pkg=$(tr 'A-Z _' 'a-z--' <<<"$name")
  [[ $pkg =~ ^[a-z0-9][a-z0-9+.-]+$ ]] ||
    fail "\"$name\" gives no Debian package name: use letters A-Z, digits, blanks and + - . _ only, at least two characters, starting with a letter or digit"
  [ "$pkg" != tavorin ] || fail "\"$name\" would be the tavorin package itself: choose another name"
  maintainer=${MAINTAINER:-Orbelia <orders@example.com>}
  other=$(apt-cache show --no-all-versions "$pkg" 2>/dev/null | sed -n 's/^Maintainer: //p' | head -1 || true)
  [ -z "$other" ] || [ "$other" = "$maintainer" ] ||
    fail "\"$pkg\" is already the name of another Debian package: choose another name for the copy"
  version=$(sed -n 's/^project(Tavorin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

  stage=$(mktemp -d)
  trap 'rm -rf "$stage"' EXIT
  root=$stage/root
  umask 022
  install -d -m 755 "$root/DEBIAN" "$root/opt/$pkg" "$root/usr/share/applications" \
    "$root/etc/xdg/autostart" "$root/usr/share/doc/$pkg" "$root/usr/share/lintian/overrides"
  install -m 755 "$exe" "$root/opt/$pkg/$name"
  install -m 755 "$folder/tavorin-viewer" "$root/opt/$pkg/tavorin-viewer"
  strip --remove-section=.comment --remove-section=.note "$root/opt/$pkg/$name" \
    "$root/opt/$pkg/tavorin-viewer"
  # Param.ini is the publisher's, a conffile: a change made on the machine survives upgrades.
  install -D -m 644 "$folder/Param.ini" "$root/etc/$pkg/Param.ini"
  ln -s "/etc/$pkg/Param.ini" "$root/opt/$pkg/Param.ini"
  # The uninstaller purges this package alone and speaks of the copy.
  sed -e "s/^package=tavorin\$/package=$pkg/" -e "s/^title=Tavorin\$/title='$name'/" \
    packaging/uninstall >"$root/opt/$pkg/uninstall"
  chmod 755 "$root/opt/$pkg/uninstall"
  if [ -f "$folder/Info.ico" ]; then
    install -m 644 "$folder/Info.ico" "$root/opt/$pkg/Info.ico"
    copy_icons "$folder/Info.ico" "$root" "$pkg"
  else
    # The copy shows the program's own picture.
    for size in 16 22 24 32 48 64 128 256; do
      install -D -m 644 "packaging/icons/${size}x$size.png" \
        "$root/usr/share/icons/hicolor/${size}x$size/apps/$pkg.png"
    done
  fi

  local entry
  entry="[Desktop Entry]
Type=Application
Name=$name
Comment=Watches a web page and shows it when it changes
Comment[fr]=Surveille une page web et l'affiche quand elle change
Exec=\"/opt/$pkg/$name\"
Icon=$pkg
Terminal=false
Keywords=notifier;news;tray;"
  printf '%s\nGenericName=Web page notifier\nGenericName[fr]=Notificateur de page web\nCategories=Network;\nStartupNotify=false\n' \
    "$entry" >"$root/usr/share/applications/$pkg.desktop"
  printf '%s\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\nX-GNOME-Autostart-Delay=5\n' \
    "$entry" >"$root/etc/xdg/autostart/$pkg.desktop"

  install -m 644 packaging/copyright "$root/usr/share/doc/$pkg/copyright"
  sed "1s/^tavorin (@PROJECT_VERSION@)/$pkg ($version)/" packaging/changelog |
    gzip -9n >"$root/usr/share/doc/$pkg/changelog.gz"
  sed "s/tavorin/$pkg/g" packaging/lintian-overrides >"$root/usr/share/lintian/overrides/$pkg"
  chmod 644 "$root"/usr/share/applications/* "$root"/etc/xdg/autostart/* \
    "$root/usr/share/doc/$pkg/changelog.gz" "$root/usr/share/lintian/overrides/$pkg"

  # Its dependencies as dpkg-shlibdeps computes them from the program itself.
  mkdir -p "$stage/debian"
  : >"$stage/debian/control"
  depends=$(cd "$stage" && dpkg-shlibdeps -O "root/opt/$pkg/$name" "root/opt/$pkg/tavorin-viewer" 2>/dev/null |
    sed -n 's/^shlibs:Depends=//p')
  [ -n "$depends" ] || fail "dpkg-shlibdeps found no dependencies for $exe"
  printf '/etc/xdg/autostart/%s.desktop\n/etc/%s/Param.ini\n' "$pkg" "$pkg" >"$root/DEBIAN/conffiles"
  cat >"$root/DEBIAN/control" <<EOF
Package: $pkg
Version: $version
Architecture: amd64
Maintainer: $maintainer
Installed-Size: $(du -ks --exclude=DEBIAN "$root" | cut -f1)
Depends: $depends
Recommends: pkexec, qt6-translations-l10n
Suggests: zenity | kdialog
Section: net
Priority: optional
Description: web page notifier for the notification area
 $name is a customised Tavorin: it sits in the notification area
 and downloads one web page every few minutes. When the page has changed it
 shows it in a small window near the bottom-right corner of the screen. It
 starts at login for every user.
EOF
  (cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | xargs -0 md5sum) \
    >"$root/DEBIAN/md5sums"
  chmod 644 "$root"/DEBIAN/*
  mkdir -p "$build"
  deb=$build/${pkg}_${version}_amd64.deb
  dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
  lintian --fail-on error "$deb" >&2
  echo "$deb"
}

if [ $# -gt 0 ]; then
  scripts/deps.sh package
  package_copy "$1"
  exit
fi

scripts/deps.sh build package
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
