# Debian package of the gateway: cpack -G DEB in the build directory.
# Everything installs below /usr; the maintainer scripts create the system
# account, /etc/sdsbridge/sdsbridge.conf and the working directory.
# A placeholder on a documentation domain: whoever builds packages for others
# puts their own address here (-DSDSBRIDGE_PACKAGE_MAINTAINER="Name <address>").
set(SDSBRIDGE_PACKAGE_MAINTAINER "sdsbridge maintainers <sdsbridge@example.org>" CACHE STRING
    "Maintainer field of the Debian package")

# Every Debian package carries its copyright and changelog in
# /usr/share/doc/<package>; the changelog names this version and the
# maintainer, dated at configure time (or SOURCE_DATE_EPOCH), and is
# compressed like the manual page.
string(TIMESTAMP SDSBRIDGE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
set(SDSBRIDGE_DOC_FILES ${CMAKE_SOURCE_DIR}/packaging/copyright)
if(SDSBRIDGE_GZIP)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    COMMAND ${SDSBRIDGE_GZIP} -9n -c ${CMAKE_BINARY_DIR}/packaging/changelog > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog
    COMMENT "Compressing the package changelog")
  add_custom_target(sdsbridge_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  list(APPEND SDSBRIDGE_DOC_FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
else()
  list(APPEND SDSBRIDGE_DOC_FILES ${CMAKE_BINARY_DIR}/packaging/changelog)
endif()
install(FILES ${SDSBRIDGE_DOC_FILES} DESTINATION ${CMAKE_INSTALL_DOCDIR})

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
# A cross build (cmake/toolchain-*.cmake) packages for the board: its
# architecture, and dpkg-shlibdeps told so, so that it reads the board's
# libraries from their multiarch directories with the board's objdump.
# A native build takes this machine's architecture (CPack asks dpkg).
if(CMAKE_CROSSCOMPILING)
  if(NOT SDSBRIDGE_DEB_ARCH)
    message(FATAL_ERROR "Cross build without SDSBRIDGE_DEB_ARCH: use one of the toolchain files in cmake/")
  endif()
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${SDSBRIDGE_DEB_ARCH})
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/package-cross.cmake)
endif()
# Installed programs carry no debug information (a Debian package's are stripped).
set(CPACK_STRIP_FILES ON)
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
