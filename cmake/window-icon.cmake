# The SDL window's icon, built into orvix_sdl, since the program reads no
# files at run time. SDL decodes BMP by itself, so the 64-pixel icon is kept
# as a BMP beside the PNGs it is made from (see the README) and embedded byte
# for byte; the end-to-end tests compare the window's icon with the PNG.
if(NOT TARGET orvix_sdl)
  return()
endif()

set(_orvix_icon ${PROJECT_SOURCE_DIR}/data/icons/orvix-64.bmp)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_orvix_icon})
file(READ ${_orvix_icon} _orvix_icon_hex HEX)
string(REGEX REPLACE "(..)" "0x\\1," _orvix_icon_bytes "${_orvix_icon_hex}")
string(REPEAT "0x..," 16 _orvix_icon_line)
string(REGEX REPLACE "(${_orvix_icon_line})" "\\1\n    " _orvix_icon_bytes "${_orvix_icon_bytes}")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/window_icon.cpp @ONLY CONTENT
"// Made by CMake from data/icons/orvix-64.bmp: the SDL window's icon.
#include <cstddef>

namespace user {

extern const unsigned char kWindowIconBmp[] = {
    @_orvix_icon_bytes@};
extern const std::size_t kWindowIconBmpSize = sizeof(kWindowIconBmp);

}  // namespace user
")
target_sources(orvix_sdl PRIVATE ${PROJECT_BINARY_DIR}/window_icon.cpp)
