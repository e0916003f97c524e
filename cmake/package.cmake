# Debian package of the gateway: cpack -G DEB in the build directory.
# Everything installs below /usr; the maintainer scripts create the system
# account, /etc/sdsbridge/sdsbridge.conf and the working directory.
set(SDSBRIDGE_PACKAGE_MAINTAINER "sdsbridge maintainers <sdsbridge@localhost>" CACHE STRING
    "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sdsbridge)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${SDSBRIDGE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "TETRA SDS gateway between a PEI radio and a reflector network")
set(CPACK_PACKAGE_DESCRIPTION
"sdsbridge joins one TETRA radio, attached by a serial line carrying its
Peripheral Equipment Interface, to an amateur radio reflector network over
UDP. It relays SDS texts in both directions, turns status messages into DTMF
commands for a voice gateway on the same host, reports positions and voice
activity, and answers roaming and weather requests.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Keep the package and its staging tree inside the build directory.
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# adduser for the service account; the libraries (libcurl4, libsystemd0, libstdc++6, libc6)
# come from dpkg-shlibdeps where it is installed, else they are named here.
find_program(SDSBRIDGE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(SDSBRIDGE_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libc6, libstdc++6, libgcc-s1, libcurl4, libsystemd0")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${CMAKE_SOURCE_DIR}/packaging/postinst;${CMAKE_SOURCE_DIR}/packaging/prerm;${CMAKE_SOURCE_DIR}/packaging/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
