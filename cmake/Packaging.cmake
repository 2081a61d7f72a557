# A Debian package of the program, the reader child, the desktop entry, the
# icon, the metainfo, the manual page, copyright and changelog. Build it with
# scripts/build-deb (`make package`): a release build under /usr with
# Debian's hardening flags and no tests, checked by lintian. Binaries are
# stripped. dpkg-shlibdeps works out the libraries the binaries link (Qt 6
# Widgets, Gui and Core for the window, libmdb and libseccomp for the
# reader); the SVG plug-in that draws the window icon is loaded at run time,
# so it is named. So is Qt's Wayland platform plug-in, recommended: without
# it the program can open no window on a Wayland-only desktop (it says so
# and names the package); X11's is part of Qt's own libraries.
set(CPACK_PACKAGE_NAME "restore-rolvane-data")
set(CPACK_PACKAGE_VENDOR "The Restore Rolvane Data developers")
set(CPACK_PACKAGE_CONTACT "${ROLVANE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ROLVANE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "restore or reset the contact databases of Varnock Rolvane under Wine")
set(CPACK_PACKAGE_DESCRIPTION [=[
Varnock Rolvane is a contact application for Windows that keeps its
contacts in a Jet database file, bsrv.mdb, with up to five backup copies
for each of its two editions, Business and Personal. This utility finds
the live databases and the backups of both editions in the user's Wine
prefix and shows them in one window, with the number of records and the
date of each file.

Restore copies a selected backup over the live database of its edition;
Create Blank resets a live database from the blank file that Rolvane
installs. Before either replaces a live database, the old file is set
aside as a numbered copy in the same folder, and it is put back if the
command cannot finish. Databases are read through libmdb in a separate,
resource-limited process.]=])
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ROLVANE_HOMEPAGE}")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wine")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
include(CPack)
