# Install layout for a Debian system running systemd (all relative to the
# prefix, so that DESTDIR staging and the package both work):
#   bin/                          sdsbridge, and the radio simulator, the
#                                 reflector tool and the session player
#   lib/systemd/system/           sdsbridge.service
#   share/man/man8/               sdsbridge.8(.gz)
#   share/sdsbridge/              sdsbridge.conf, the commented sample
#   share/doc/sdsbridge/examples/ drop-ins for the unit: the voice gateway's
#                                 account, control paths outside /tmp
#   lib/modules-load.d/           sdsbridge.conf: the USB serial drivers,
#                                 loaded before the service starts
# The service runs in /var/lib/sdsbridge (systemd StateDirectory); the package
# copies the sample to /etc/sdsbridge and links it into that directory.
include(GNUInstallDirs)

set(SDSBRIDGE_SYSTEMD_UNIT_DIR "lib/systemd/system" CACHE STRING
    "Where the systemd unit is installed, relative to the prefix")

install(TARGETS sdsbridge sdsbridge-radio-sim sdsbridge-reflector sdsbridge-session
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The sample shows the reflector host this build uses by default.
configure_file(${CMAKE_SOURCE_DIR}/packaging/sdsbridge.conf.in
               ${CMAKE_BINARY_DIR}/packaging/sdsbridge.conf @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/sdsbridge.conf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/sdsbridge)

install(FILES ${CMAKE_SOURCE_DIR}/packaging/examples/voice-gateway-account.conf
              ${CMAKE_SOURCE_DIR}/packaging/examples/control-paths.conf
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
# The unit lets serial devices through by class (major number); a class
# exists once its driver is loaded, so the USB ones are loaded at boot.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/modules-load.conf
        DESTINATION lib/modules-load.d RENAME sdsbridge.conf)

# The unit names the program where it is installed. The prefix is known only
# at install time (cmake --install --prefix, and the package uses /usr), so the
# unit is written then.
install(CODE "
  set(SDSBRIDGE_FULL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  set(unit \"\${CMAKE_INSTALL_PREFIX}/${SDSBRIDGE_SYSTEMD_UNIT_DIR}/sdsbridge.service\")
  message(STATUS \"Installing: \$ENV{DESTDIR}\${unit}\")
  configure_file(\"${CMAKE_SOURCE_DIR}/packaging/sdsbridge.service.in\" \"\$ENV{DESTDIR}\${unit}\" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${unit}\")
")

# Debian compresses manual pages with gzip -9n (no name, no time stamp: the
# same page always gives the same bytes).
find_program(SDSBRIDGE_GZIP gzip)
set(SDSBRIDGE_MAN_SOURCE ${CMAKE_SOURCE_DIR}/docs/sdsbridge.8)
if(SDSBRIDGE_GZIP)
  set(SDSBRIDGE_MAN_PAGE ${CMAKE_BINARY_DIR}/packaging/sdsbridge.8.gz)
  add_custom_command(OUTPUT ${SDSBRIDGE_MAN_PAGE}
    COMMAND ${SDSBRIDGE_GZIP} -9n -c ${SDSBRIDGE_MAN_SOURCE} > ${SDSBRIDGE_MAN_PAGE}
    DEPENDS ${SDSBRIDGE_MAN_SOURCE}
    COMMENT "Compressing the manual page")
  add_custom_target(sdsbridge_man_page ALL DEPENDS ${SDSBRIDGE_MAN_PAGE})
else()
  set(SDSBRIDGE_MAN_PAGE ${SDSBRIDGE_MAN_SOURCE})
endif()
install(FILES ${SDSBRIDGE_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
