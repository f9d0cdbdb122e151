# The Debian package: cpack -G DEB in the build folder (scripts/package.sh).
# Program and uninstaller in /opt/tavorin (it reads Param.ini and Info.ico beside itself),
# the command tavorin on the PATH, menu entry, icons, AppStream data, start at login.
set(_pkg ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(_gen ${CMAKE_CURRENT_BINARY_DIR}/packaging)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(_exe OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS Tavorin tavorin-viewer RUNTIME DESTINATION /opt/tavorin)
install(PROGRAMS ${_pkg}/uninstall DESTINATION /opt/tavorin PERMISSIONS ${_exe})
file(MAKE_DIRECTORY ${_gen})
file(CREATE_LINK /opt/tavorin/Tavorin ${_gen}/tavorin SYMBOLIC)
install(FILES ${_gen}/tavorin DESTINATION /usr/bin)
install(FILES ${_pkg}/tavorin.desktop DESTINATION /usr/share/applications)
install(FILES ${_pkg}/tavorin-autostart.desktop DESTINATION /etc/xdg/autostart RENAME tavorin.desktop)
configure_file(${_pkg}/com.example.tavorin.metainfo.xml ${_gen}/com.example.tavorin.metainfo.xml @ONLY)
install(FILES ${_gen}/com.example.tavorin.metainfo.xml DESTINATION /usr/share/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${_pkg}/icons/${size}x${size}.png
          DESTINATION /usr/share/icons/hicolor/${size}x${size}/apps RENAME tavorin.png)
endforeach()
install(FILES ${_pkg}/copyright DESTINATION /usr/share/doc/tavorin)
install(FILES ${_pkg}/lintian-overrides DESTINATION /usr/share/lintian/overrides RENAME tavorin)

# Debian wants these compressed, without a time stamp inside.
configure_file(${_pkg}/changelog ${_gen}/changelog @ONLY)
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${_gen}/changelog.gz ${_gen}/tavorin.1.gz
  COMMAND ${GZIP} -9nc ${_gen}/changelog > ${_gen}/changelog.gz
  COMMAND ${GZIP} -9nc ${_pkg}/tavorin.1 > ${_gen}/tavorin.1.gz
  DEPENDS ${_gen}/changelog ${_pkg}/tavorin.1)
add_custom_target(tavorin_package_docs ALL DEPENDS ${_gen}/changelog.gz ${_gen}/tavorin.1.gz)
install(FILES ${_gen}/changelog.gz DESTINATION /usr/share/doc/tavorin)
install(FILES ${_gen}/tavorin.1.gz DESTINATION /usr/share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavorin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Orbelia)
set(CPACK_PACKAGE_CONTACT "Orbelia <orders@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web page notifier for the notification area")
set(CPACK_PACKAGE_DESCRIPTION
    "Tavorin sits in the notification area and downloads one web page every few\n"
    "minutes. When the page has changed it shows it in a small window near the\n"
    "bottom-right corner of the screen. It starts at login for every user.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://${TAVORIN_PUBLISHER_HOST}/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The uninstaller asks for rights with pkexec; the standard buttons follow the desktop's
# language with Qt's translations.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "zenity | kdialog")
# A user's change to the autostart entry survives upgrades.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_pkg}/conffiles)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_SET_DESTDIR OFF)
include(CPack)
