# What `cmake --install` puts where, in two components:
#   Runtime      the programs, the desktop entry, its AppStream metainfo, icons,
#                man pages, the README with its pages (docs/*.md) and the
#                licence; on Windows orvix.exe, README.txt, LICENSE.txt and
#                THIRD-PARTY.txt at the top of the prefix, as a zip to unpack
#                anywhere wants it
#   Development  the libraries with their public headers and the CMake package,
#                so that find_package(orvix) gives orvix::core, orvix::gdi,
#                orvix::headless and orvix::sdl, and for builds outside CMake
#                one pkg-config file per backend (not on Windows, where the
#                platform layer is Windows itself)
# The packages (package.cmake) take the Runtime component only.
option(ORVIX_INSTALL "Generate ORVIX's install rules" ${ORVIX_TOP_LEVEL})
if(NOT ORVIX_INSTALL)
  return()
endif()
include(GNUInstallDirs)

if(WIN32)
  if(TARGET orvix)
    install(TARGETS orvix RUNTIME DESTINATION . COMPONENT Runtime)
    # The licence notices of what the static link puts into orvix.exe, read
    # from the link map as each link makes it (third-party.cmake).
    target_link_options(orvix PRIVATE LINKER:-Map=${PROJECT_BINARY_DIR}/orvix.map)
    add_custom_command(
      TARGET orvix POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DMAP=${PROJECT_BINARY_DIR}/orvix.map
              -DNOTICES=${PROJECT_SOURCE_DIR}/data/notices -DBINARY_DIR=${PROJECT_BINARY_DIR}
              -DOUT=${PROJECT_BINARY_DIR}/THIRD-PARTY.txt -P ${CMAKE_CURRENT_LIST_DIR}/third-party.cmake
      BYPRODUCTS ${PROJECT_BINARY_DIR}/orvix.map ${PROJECT_BINARY_DIR}/THIRD-PARTY.txt VERBATIM)
    install(FILES ${PROJECT_BINARY_DIR}/THIRD-PARTY.txt DESTINATION . COMPONENT Runtime)
  endif()
  # Text files with Windows line ends, which every Windows editor shows well.
  configure_file(${PROJECT_SOURCE_DIR}/data/README-windows.txt.in
                 ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE WIN32)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt
                 @ONLY NEWLINE_STYLE WIN32)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt
          DESTINATION . COMPONENT Runtime)
  return()
endif()

# ---- Runtime ----------------------------------------------------------------
include(${CMAKE_CURRENT_LIST_DIR}/man-options.cmake)
foreach(program orvix orvix-capture)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
    configure_file(${PROJECT_SOURCE_DIR}/data/man/${program}.1.in
                   ${PROJECT_BINARY_DIR}/man/${program}.1 @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/man/${program}.1
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
  endif()
endforeach()
if(TARGET orvix)
  include(${CMAKE_CURRENT_LIST_DIR}/metainfo.cmake)
  install(FILES ${PROJECT_SOURCE_DIR}/data/orvix.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications RENAME ${ORVIX_APP_ID}.desktop
          COMPONENT Runtime)
  install(FILES ${PROJECT_BINARY_DIR}/${ORVIX_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT Runtime)
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/data/icons/orvix-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME orvix.png COMPONENT Runtime)
  endforeach()
endif()
# The README and its pages, with links only to what is installed beside them.
file(GLOB _orvix_doc_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/doc/README.md
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DOUT=${PROJECT_BINARY_DIR}/doc
          -P ${CMAKE_CURRENT_LIST_DIR}/ship-docs.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${_orvix_doc_pages} ${CMAKE_CURRENT_LIST_DIR}/ship-docs.cmake
  COMMENT "The installed documentation")
add_custom_target(orvix_docs ALL DEPENDS ${PROJECT_BINARY_DIR}/doc/README.md)
install(DIRECTORY ${PROJECT_BINARY_DIR}/doc/ DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Runtime)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Runtime)

# ---- Development ----------------------------------------------------------
# Only the renderer's and the platform layer's public headers, in the folder
# layout the sources include them by ("Main.h", "platform/headless.h").
set(_orvix_includedir ${CMAKE_INSTALL_INCLUDEDIR}/orvix)
install(FILES src/Draw.h src/Main.h src/Win.h DESTINATION ${_orvix_includedir}
        COMPONENT Development)
install(FILES src/platform/win32.h src/platform/gdi.h src/platform/headless.h
        DESTINATION ${_orvix_includedir}/platform COMPONENT Development)

set(_orvix_exported orvix_options orvix_exact_float orvix_core orvix_gdi orvix_headless)
if(TARGET orvix_sdl)
  list(APPEND _orvix_exported orvix_sdl)
  set(ORVIX_EXPORTS_SDL ON)
else()
  set(ORVIX_EXPORTS_SDL OFF)
endif()
foreach(target IN LISTS _orvix_exported)
  string(REPLACE "orvix_" "" _orvix_name ${target})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${_orvix_name})
endforeach()
# The libraries link orvix_options and orvix_exact_float privately; being
# static, they carry them into the export, where they add nothing but their
# link options.
foreach(target orvix_core orvix_gdi)
  target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${_orvix_includedir}>)
endforeach()
install(TARGETS ${_orvix_exported} EXPORT orvix-targets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)

# pkg-config: one file per backend, since the renderer alone does not link.
# Each gives the whole link line in the order static libraries need: the
# renderer, then the backend it calls, then the software GDI. The prefix is
# found from the file's own place, so any install prefix works.
file(RELATIVE_PATH _pc_to_prefix ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" _pc_to_prefix "${_pc_to_prefix}")
set(_pc_backends headless)
if(TARGET orvix_sdl)
  list(APPEND _pc_backends sdl)
endif()
foreach(_pc_backend IN LISTS _pc_backends)
  if(_pc_backend STREQUAL "sdl")
    set(_pc_requires sdl2)
    set(_pc_description "ORVIX's software 3D renderer in an SDL2 window")
  else()
    set(_pc_requires "")
    set(_pc_description "ORVIX's software 3D renderer on the in-memory platform, for tests and tools")
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/orvix-backend.pc.in
                 ${PROJECT_BINARY_DIR}/pkgconfig/orvix-${_pc_backend}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/orvix-${_pc_backend}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
endforeach()

set(_orvix_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/orvix)
install(EXPORT orvix-targets NAMESPACE orvix:: DESTINATION ${_orvix_cmakedir}
        COMPONENT Development)
include(CMakePackageConfigHelpers)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/orvix-config.cmake.in
                              ${PROJECT_BINARY_DIR}/orvix-config.cmake
                              INSTALL_DESTINATION ${_orvix_cmakedir})
# 0.x: a new minor version may change the interfaces.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/orvix-config-version.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/orvix-config.cmake
              ${PROJECT_BINARY_DIR}/orvix-config-version.cmake
        DESTINATION ${_orvix_cmakedir} COMPONENT Development)
