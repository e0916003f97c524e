# 32-bit ARM boards with hardware floating point, ARMv7 and later (Raspberry
# Pi 2 and later with a 32-bit system): cmake
# -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake, or scripts/cross.sh armhf.
set(SDSBRIDGE_CROSS_TRIPLET arm-linux-gnueabihf)
set(SDSBRIDGE_CROSS_PROCESSOR arm)
set(SDSBRIDGE_CROSS_QEMU qemu-arm-static)
set(SDSBRIDGE_DEB_ARCH armhf)
# GCC notes at every std::vector iterator passed by value that GCC 7.1 changed
# how such arguments are passed on ARM; it concerns only linking with objects
# built by GCC 6 or older, which this build never does.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-debian-cross.cmake)
