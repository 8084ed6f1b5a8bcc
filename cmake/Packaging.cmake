# What installing adds beyond the programs (the icon, the package's own documents) and the
# Debian package built by CPack: `cpack -G DEB` in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr makes nolt_<version>_<arch>.deb.

set(NOLT_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# The one icon every desktop entry names.
install(FILES ${NOLT_PACKAGING_DIR}/app.nolt.Nolt.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# "Save to Nolt" in file managers' context menus, as each one's own data file. The share
# dialog's entry in applications/ names no file types: a program listed for a type is a
# candidate for opening it, and wherever no other program claims that type (or the desktop
# database lists it first) it would become the default.
set(nolt_file_managers ${NOLT_PACKAGING_DIR}/file-managers)
install(FILES ${nolt_file_managers}/dolphin-nolt-share.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus RENAME nolt-share.desktop)
install(FILES ${nolt_file_managers}/thunar-nolt-share.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/Thunar/sendto RENAME nolt-share.desktop)
install(FILES ${nolt_file_managers}/nolt-share.nemo_action
        DESTINATION ${CMAKE_INSTALL_DATADIR}/nemo/actions)
install(FILES ${nolt_file_managers}/file-manager-action-nolt-share.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/file-manager/actions RENAME nolt-share.desktop)

# Every Debian package carries its copyright and a compressed changelog in /usr/share/doc.
set(NOLT_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})
configure_file(${NOLT_PACKAGING_DIR}/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog
               @ONLY)
execute_process(COMMAND gzip -9 -n -c ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog
                OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
                COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${NOLT_PACKAGING_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${NOLT_DOC_DIR})
install(FILES ${NOLT_PACKAGING_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${PROJECT_NAME})

if(NOLT_NATIVE_MESSAGING_SCOPE STREQUAL "user")
  message(WARNING "A package needs NOLT_NATIVE_MESSAGING_SCOPE=system: with \"user\" it would "
                  "carry the browser manifests in the building user's home")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Nolt")
set(CPACK_PACKAGE_CONTACT "Nolt developers <dev@nolt.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion programs for the Nolt library")
# Some install rules name absolute folders (/etc/xdg/autostart, the browsers' manifest folders):
# staging through DESTDIR keeps them inside the package.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianStaging.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The summary above is the first line; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Nolt keeps visual references, links and notes in spaces and collections.
This package holds the programs around the library: nolt, the command
line; nolt-share, the dialog that saves files, links and text; nolt-safari,
the native-messaging host of the browser extension; nolt-widget, the desktop
widget; and nolt-host, a host application that keeps the library.")
# The shared libraries the programs link give most of the dependencies; the QML modules the
# windows load at run time and xdg-open, which opens links, are not linked and are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A destination's name may hold an emoji, which shows as a box without a colour-emoji font;
# on a Wayland session the widget's layer-shell surface needs Qt's Wayland platform.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-color-emoji, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-layouts, \
qml6-module-qtquick-templates, qml6-module-qtquick-window, qml6-module-qtqml-models, \
qml6-module-qtqml-workerscript, xdg-utils")

# Files under /etc are the administrator's to change: dpkg keeps their edits (conffiles).
set(nolt_conffiles "${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart/nolt-widget.desktop")
if(NOT NOLT_NATIVE_MESSAGING_SCOPE STREQUAL "user")
  list(APPEND nolt_conffiles
       "${CMAKE_INSTALL_FULL_SYSCONFDIR}/chromium/native-messaging-hosts/app.nolt.web.json")
endif()
list(FILTER nolt_conffiles INCLUDE REGEX "^/etc/")
if(nolt_conffiles)
  list(JOIN nolt_conffiles "\n" nolt_conffiles)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/packaging/conffiles "${nolt_conffiles}\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/packaging/conffiles)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
