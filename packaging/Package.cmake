# The Debian package, built by `cpack -G DEB` in a release build (scripts/package.sh). Its
# version is the project's; its dependencies are computed from the installed binaries by
# dpkg-shlibdeps (Debian package dpkg-dev, which needs `file` too).
set(CPACK_PACKAGE_NAME ${KESTRO_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR ${KESTRO_VENDOR})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check and set the clocks of Kestro4 meters")
set(CPACK_PACKAGE_CONTACT ${KESTRO_MAINTAINER})
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # kestro-setup_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KESTRO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KESTRO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack puts the summary on the first line of the description itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kestro Setup checks and sets the clock and calendar of Kestro4 meters over a
serial line. Over one serial port it reaches one meter by its network address
(00 to 99), or, through an optical head at 300 baud, the one meter under the
head. Its window sends an echo, reads the meter's date and time, and writes a
date and time or the computer's current one.
.
The package also brings kestro-virtual-meter, which plays Kestro4 meters on a
pseudo-terminal, so the program can be tried without hardware.")

include(CPack)
