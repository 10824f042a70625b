# Debian arm64 (aarch64-linux-gnu), built by Debian's cross compiler and run under qemu-aarch64.
set(ORVIX_CROSS_TRIPLET aarch64-linux-gnu)
set(ORVIX_CROSS_PROCESSOR aarch64)
set(ORVIX_CROSS_QEMU qemu-aarch64)
set(ORVIX_CROSS_DEBIAN_ARCH arm64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
