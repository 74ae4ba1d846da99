# cpack -G DEB: a Debian package of everything `cmake --install` installs.
include(GNUInstallDirs)
set(CPACK_PACKAGE_NAME kestrorecorder)
set(CPACK_PACKAGE_VENDOR "${KESTRO_COMPANY}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Debian's long description: lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "KestroRecorder polls a sound level meter on a serial line, mirrors its
display, lets the user switch the measuring function and range, and writes
every sample to record files with interval statistics.
It runs unattended for days, also headless as a systemd user service or as a
hardened system service for stations, and reconnects an unplugged USB serial
adapter by itself.")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(KESTRO_PACKAGE_MAINTAINER "KestroRecorder maintainers <kestrorecorder@orvia.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTRO_PACKAGE_MAINTAINER}")

# The copyright file and the changelog a Debian package carries in its doc directory.
string(SUBSTRING "${KESTRO_RELEASE_DATE}" 0 4 KESTRO_RELEASE_YEAR)
execute_process(COMMAND date -u -R -d "${KESTRO_RELEASE_DATE}" OUTPUT_VARIABLE KESTRO_CHANGELOG_DATE
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(data/copyright.in ${CMAKE_BINARY_DIR}/data/copyright @ONLY)
configure_file(data/changelog.in ${CMAKE_BINARY_DIR}/data/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/data/changelog.gz
                   COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/data/changelog > ${CMAKE_BINARY_DIR}/data/changelog.gz
                   DEPENDS ${CMAKE_BINARY_DIR}/data/changelog VERBATIM)
add_custom_target(kestro_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/data/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/data/copyright ${CMAKE_BINARY_DIR}/data/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrorecorder)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Dependencies from the libraries the binaries link (dpkg-shlibdeps), plus the
# Qt platform plugins, which are loaded at run time and so not seen by it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, adduser")
# postinst makes the system user of the station's unit.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_SOURCE_DIR}/data/postinst")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "desktop-file-utils")
# Qt's own dialogs (file dialog, message box buttons) in the windows' language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
