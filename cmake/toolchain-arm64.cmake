# 64-bit ARM boards (Raspberry Pi 3, 4 and 5 with a 64-bit system):
# cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-arm64.cmake, or scripts/cross.sh arm64.
set(SDSBRIDGE_CROSS_TRIPLET aarch64-linux-gnu)
set(SDSBRIDGE_CROSS_PROCESSOR aarch64)
set(SDSBRIDGE_CROSS_QEMU qemu-aarch64-static)
set(SDSBRIDGE_DEB_ARCH arm64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-debian-cross.cmake)
