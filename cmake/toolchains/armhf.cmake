# Debian armhf (arm-linux-gnueabihf), built by Debian's cross compiler and run under qemu-arm.
set(ORVIX_CROSS_TRIPLET arm-linux-gnueabihf)
set(ORVIX_CROSS_PROCESSOR armv7l)
set(ORVIX_CROSS_QEMU qemu-arm)
set(ORVIX_CROSS_DEBIAN_ARCH armhf)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
