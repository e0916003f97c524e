# Debian's default hardening for every program of the project, whatever
# builds it: the stack protector, fortified libc calls, read-only relocations
# bound at start, position-independent executables, and control-flow
# protection where the target has it. The gateway parses datagrams from the
# internet and lines from a radio for months unattended; these turn many
# memory faults into a clean abort instead of a takeover.
#
# The flags come from dpkg-buildflags (with every hardening feature on) where
# it is installed, for the architecture being built, so a package gets what
# Debian would give it; elsewhere the same set is spelled out here. Only the
# hardening flags are taken: optimisation and debug information stay the
# build type's.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

set(hardening_compile -fstack-protector-strong)
set(hardening_fortify -D_FORTIFY_SOURCE=2)
set(hardening_link -Wl,-z,relro -Wl,-z,now)

find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(DPKG_BUILDFLAGS)
  set(host_arch "")
  if(SDSBRIDGE_DEB_ARCH)
    set(host_arch DEB_HOST_ARCH=${SDSBRIDGE_DEB_ARCH})
  endif()
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(COMMAND env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${host_arch} ${DPKG_BUILDFLAGS} --get ${kind}
                    OUTPUT_VARIABLE flags_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    separate_arguments(flags_${kind} UNIX_COMMAND "${flags_${kind}}")
  endforeach()
  set(hardening_compile "")
  set(hardening_fortify "")
  set(hardening_link "")
  foreach(flag ${flags_CPPFLAGS} ${flags_CXXFLAGS})
    if(flag MATCHES "^-D_FORTIFY_SOURCE")
      list(APPEND hardening_fortify ${flag})
    elseif(flag MATCHES "^-f(stack-protector|stack-clash-protection|cf-protection)|^-mbranch-protection")
      list(APPEND hardening_compile ${flag})
    endif()
  endforeach()
  foreach(flag ${flags_LDFLAGS})
    if(flag MATCHES "^-Wl,-z,(relro|now)$")
      list(APPEND hardening_link ${flag})
    endif()
  endforeach()
endif()

# Control-flow protection (x86's CET): dpkg-buildflags of Debian 12 does not
# name it yet. Other targets refuse the flag, and the check leaves it out.
if(NOT hardening_compile MATCHES "-fcf-protection")
  check_cxx_compiler_flag(-fcf-protection SDSBRIDGE_HAS_CF_PROTECTION)
  if(SDSBRIDGE_HAS_CF_PROTECTION)
    list(APPEND hardening_compile -fcf-protection)
  endif()
endif()

check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

target_compile_options(sdsbridge_options INTERFACE ${hardening_compile})
target_link_options(sdsbridge_options INTERFACE ${hardening_link})
# Fortified calls need optimisation (glibc warns without it, and -Werror makes
# that fatal), and the sanitizers and the fuzz build check the same calls
# themselves.
# SDSBRIDGE_FORTIFIED tells the packaging check what to expect.
set(SDSBRIDGE_FORTIFIED OFF)
if(NOT SDSBRIDGE_SANITIZE AND NOT SDSBRIDGE_FUZZ AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  target_compile_options(sdsbridge_options INTERFACE ${hardening_fortify})
  set(SDSBRIDGE_FORTIFIED ON)
endif()
message(STATUS "Hardening: ${hardening_compile} ${hardening_link} (fortify: ${hardening_fortify})")
