# What every Debian cross build shares; each ARCH.cmake beside this file sets
# ORVIX_CROSS_TRIPLET, ORVIX_CROSS_PROCESSOR and ORVIX_CROSS_QEMU and
# includes it. The target's libraries are Debian's multiarch packages
# (libgtest-dev:ARCH, ...) under /usr/lib/TRIPLET, beside the native ones;
# scripts/cross installs them. Programs built for the target run under
# qemu-user: ctest and the tests that start programs go through
# CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${ORVIX_CROSS_PROCESSOR})
set(CMAKE_C_COMPILER ${ORVIX_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ORVIX_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${ORVIX_CROSS_TRIPLET})
# The target's C library and loader from the cross toolchain's own tree.
set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVIX_CROSS_QEMU} -L /usr/${ORVIX_CROSS_TRIPLET})
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${ORVIX_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
