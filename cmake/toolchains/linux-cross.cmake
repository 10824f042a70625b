# What every Debian cross build shares. Each ARCH.cmake beside this file sets
# ORVIX_CROSS_TRIPLET (the compiler's prefix), ORVIX_CROSS_PROCESSOR,
# ORVIX_CROSS_QEMU, ORVIX_CROSS_DEBIAN_ARCH (Debian's name of the
# architecture, the Debian package's) and ORVIX_CROSS_MULTIARCH where the
# library folder is named otherwise (i386), then includes it. The target's
# libraries are Debian's multiarch packages (libgtest-dev:ARCH, ...) in
# /usr/lib/MULTIARCH, beside the native ones; scripts/install-deps cross-ARCH
# installs them.
# Programs built for the target run under qemu-user: ctest, and the tests that
# start programs, go through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${ORVIX_CROSS_PROCESSOR})
set(CMAKE_C_COMPILER ${ORVIX_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ORVIX_CROSS_TRIPLET}-g++)
if(NOT ORVIX_CROSS_MULTIARCH)
  set(ORVIX_CROSS_MULTIARCH ${ORVIX_CROSS_TRIPLET})
endif()
set(CMAKE_LIBRARY_ARCHITECTURE ${ORVIX_CROSS_MULTIARCH})
# The target's loader and libraries are found where multiarch puts them, as
# on the target. No -L prefix: with one, qemu 7.2 hangs a child after fork,
# and on s390x even a dynamically linked "hello" aborts ("stack smashing
# detected").
set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVIX_CROSS_QEMU})
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${ORVIX_CROSS_MULTIARCH}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
