# cpack -G DEB: a Debian package of everything `cmake --install` installs.
set(CPACK_PACKAGE_NAME kestrorecorder)
set(CPACK_PACKAGE_VENDOR "${KESTRO_COMPANY}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "KestroRecorder polls a sound level meter on a serial line, mirrors its display, and writes every sample to record files. It runs unattended for days, also headless as a systemd user service, and reconnects an unplugged USB serial adapter by itself.")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(KESTRO_PACKAGE_MAINTAINER "KestroRecorder maintainers <kestrorecorder@orvia.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTRO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Dependencies from the libraries the binaries link (dpkg-shlibdeps), plus the
# Qt platform plugins, which are loaded at run time and so not seen by it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "desktop-file-utils")
include(CPack)
