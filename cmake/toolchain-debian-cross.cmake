# Shared part of the cross toolchains for the station's ARM boards: Debian's
# cross compiler (crossbuild-essential-<arch>) and the board's libraries from
# Debian multiarch (libcurl4-openssl-dev:<arch> and so on), both installed by
# scripts/cross.sh. The including file sets
#   SDSBRIDGE_CROSS_TRIPLET    GNU triplet, also the multiarch directory name
#   SDSBRIDGE_CROSS_PROCESSOR  CMAKE_SYSTEM_PROCESSOR
#   SDSBRIDGE_CROSS_QEMU       the user-mode emulator that runs the board's programs here
#   SDSBRIDGE_DEB_ARCH         the Debian architecture of the package
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${SDSBRIDGE_CROSS_PROCESSOR})
set(CMAKE_CXX_COMPILER ${SDSBRIDGE_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${SDSBRIDGE_CROSS_TRIPLET})

# Only the board's libraries, never the build machine's: the cross compiler
# searches its own multiarch directories, and pkg-config is pointed at them.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${SDSBRIDGE_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# Tests run the board's programs through qemu-user, named in each command
# (CTest puts it in front of every program the build made); no binfmt
# registration is needed. The board's dynamic loader and libraries are found
# where multiarch puts them, below /usr/lib/<triplet>.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/${SDSBRIDGE_CROSS_QEMU})
