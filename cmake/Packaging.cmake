# A Debian package of the program, the reader child, the desktop entry and
# the icon: `cpack -G DEB` in a build folder (a release build, so that no
# sanitizer runtime becomes a dependency). The dependencies are worked out by
# dpkg-shlibdeps from the libraries the installed binaries link: Qt 6 Widgets,
# Gui and Core for the window, libmdb and libseccomp for the reader.
set(CPACK_PACKAGE_NAME "restore-rolvane-data")
set(CPACK_PACKAGE_VENDOR "Restore Rolvane Data developers")
set(CPACK_PACKAGE_CONTACT "Restore Rolvane Data developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Restores or resets the contact databases of Varnock Rolvane under Wine")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program finds its reader child under the prefix it was configured for,
# so the package installs there too.
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
include(CPack)
