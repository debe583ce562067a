# `make package`: a Debian package of what `cmake --install` installs, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dawnbell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "The Dawnbell developers <dawnbell@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "wake a computer over the network from a touch screen")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Dawnbell sends a Wake-on-LAN magic packet to a computer's network card: type
its host, its MAC address and a UDP port, tap the send button. It is made for
fingers, with its own on-screen keyboard, and runs on Linux phones, on touch
panels without a desktop (KMSDRM) and in a desktop window.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The makers of network cards the network search names.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ieee-data)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/dawnbell/dawnbell")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_THREADS 0)
include(CPack)
