# Run by CPack on the Debian package's files before it packs them: what Debian
# asks beyond what `cmake --install` puts in place. data/debian/copyright (the
# licence in Debian's machine-readable format) takes the place of LICENSE,
# data/debian/changelog becomes the changelog, and the changelog and
# man pages are compressed as dh_compress would (gzip -9n: no name or time).
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(_root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(_doc ${_root}/share/doc/orvix)
set(_source ${CMAKE_CURRENT_LIST_DIR}/..)

file(REMOVE ${_doc}/LICENSE)
file(COPY_FILE ${_source}/data/debian/copyright ${_doc}/copyright)

# The changelog's latest entry must be this version: a release adds one.
file(STRINGS ${_source}/data/debian/changelog _first LIMIT_COUNT 1)
if(NOT _first MATCHES "^orvix \\(([^)]+)\\)" OR NOT CMAKE_MATCH_1 STREQUAL CPACK_PACKAGE_VERSION)
  message(FATAL_ERROR "data/debian/changelog begins with '${_first}': "
                      "add an entry for version ${CPACK_PACKAGE_VERSION} at its top")
endif()
file(COPY_FILE ${_source}/data/debian/changelog ${_doc}/changelog)

# Copies keep the source's permissions, which follow the umask of whoever
# checked it out or unpacked it: the package's are fixed.
file(CHMOD ${_doc}/copyright ${_doc}/changelog PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

file(GLOB _pages ${_root}/share/man/man1/*.1)
foreach(file IN LISTS _pages ITEMS ${_doc}/changelog)
  execute_process(COMMAND gzip -9nf ${file} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
