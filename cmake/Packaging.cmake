# SPDX-License-Identifier: GPL-3.0-or-later
# A Debian package of the Player: `cpack -G DEB` in a release build directory.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pagewright-player)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Pagewright)
set(CPACK_PACKAGE_CONTACT "Pagewright <player@pagewright.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "music stand that follows a conductor's live show")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://pagewright.invalid/)
# The synopsis line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Pagewright Player shows your part during a live show run from the conductor's
computer, the Host. It joins a Host on the local network with a PIN or a join
link and follows its page turns, or lets you turn pages with the keyboard,
clicks, swipes or a MIDI pedal. Pages stay cached so the music keeps playing
when the network drops, shows can be saved for offline practice, and private
ink never leaves the device.")

# dpkg-shlibdeps finds the libraries; these are loaded at run time and invisible to it:
# the DNS-SD daemon, Qt's platform plugins and its SVG icon engine (for the window icon).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "avahi-daemon, qt6-qpa-plugins, libqt6svg6")
# Native Wayland windows, and the GStreamer V4L2 source Qt Multimedia opens the camera through
# to read a Host's QR code; the Player works without either.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, gstreamer1.0-plugins-good")

set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/deb/postinst ${PROJECT_SOURCE_DIR}/packaging/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
