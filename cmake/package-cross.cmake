# Read by cpack (CPACK_PROJECT_CONFIG_FILE) in a cross build: dpkg-shlibdeps,
# which cpack runs, takes the package's architecture from DEB_HOST_ARCH.
set(ENV{DEB_HOST_ARCH} "${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}")
