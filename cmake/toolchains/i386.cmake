# Debian i386 (i686-linux-gnu), built by Debian's cross compiler and run under qemu-i386.
set(ORVIX_CROSS_TRIPLET i686-linux-gnu)
set(ORVIX_CROSS_PROCESSOR i686)
set(ORVIX_CROSS_QEMU qemu-i386)
set(ORVIX_CROSS_DEBIAN_ARCH i386)
set(ORVIX_CROSS_MULTIARCH i386-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
