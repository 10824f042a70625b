# Debian s390x (s390x-linux-gnu), built by Debian's cross compiler and run under qemu-s390x.
set(ORVIX_CROSS_TRIPLET s390x-linux-gnu)
set(ORVIX_CROSS_PROCESSOR s390x)
set(ORVIX_CROSS_QEMU qemu-s390x)
set(ORVIX_CROSS_DEBIAN_ARCH s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
