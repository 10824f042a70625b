# The packages, made by CPack (scripts/package): from a Linux build a Debian
# package, from the mingw preset a zip to unpack anywhere. Both hold the
# Runtime component only (install.cmake). scripts/package builds them from the
# package-linux, package-linux-arm64 and package-mingw presets, reproducibly.
set(CPACK_PACKAGE_NAME orvix)
set(CPACK_PACKAGE_VENDOR "the ORVIX authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small software 3D renderer: a room lit by a spinning cube")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};Runtime;/")
set(CPACK_STRIP_FILES ON)
# The source release is `git archive` of the commit (scripts/package).
set(CPACK_SOURCE_GENERATOR "")
# Whatever the umask of the machine that builds it.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME orvix-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)  # unpacks into a folder of its own
else()
  set(ORVIX_PACKAGE_MAINTAINER "the ORVIX authors <orvix@example.org>" CACHE STRING
      "Maintainer field of the Debian package: name <address>")
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # orvix_VERSION_ARCH.deb
  # CPack would take this machine's; a cross build's is the target's
  # (cmake/toolchains). dpkg-shlibdeps then needs DEB_HOST_ARCH set to it, to
  # look among that architecture's libraries (scripts/package does).
  if(CMAKE_CROSSCOMPILING AND ORVIX_CROSS_DEBIAN_ARCH)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ORVIX_CROSS_DEBIAN_ARCH})
  endif()
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVIX_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends from dpkg-shlibdeps
  set(CPACK_DEBIAN_COMPRESSION_TYPE xz)  # a third smaller than gzip
  if(ORVIX_HOMEPAGE_URL)  # metainfo.cmake
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ORVIX_HOMEPAGE_URL}")
  endif()
  # The summary above is the synopsis; this is the extended description.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "ORVIX opens one window and, thirty times a second, renders a tiled box room
lit by a point light that rides on a drifting, spinning cube, through its
own transform, projection, culling and lighting pipeline, into a 512 x 512
back buffer filled one flat polygon at a time. The arrow keys turn and tilt
the view; the space bar walks forward.
.
The package also holds orvix-capture, which runs the program without a
display on a virtual clock and records its frames as PNG files or an
animated GIF, the same bytes every time.")
  # What Debian asks of a package beyond what CMake installs: the copyright
  # file, a changelog, compressed man pages.
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb-finish.cmake)
endif()
include(CPack)
