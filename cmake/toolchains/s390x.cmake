# Debian s390x (s390x-linux-gnu), built by Debian's cross compiler and run under qemu-s390x.
set(ORVIX_CROSS_TRIPLET s390x-linux-gnu)
set(ORVIX_CROSS_PROCESSOR s390x)
set(ORVIX_CROSS_QEMU qemu-s390x)
# qemu-s390x 7.2 aborts dynamically linked programs ("stack smashing
# detected") in the loader: link everything statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
