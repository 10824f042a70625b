# Writes the README and the pages under docs/ as they are installed into
# share/doc/orvix/: the same text, but pictures become their descriptions and
# a link to anything but another installed page becomes its plain text, so that
# no link of the installed documentation is dead.
# Run with -P: -DSOURCE=<source tree> -DOUT=<folder to write>.
cmake_minimum_required(VERSION 3.21)
file(GLOB _pages RELATIVE ${SOURCE} ${SOURCE}/docs/*.md)
set(_shipped README.md ${_pages})
file(REMOVE_RECURSE ${OUT})
foreach(page IN LISTS _shipped)
  file(READ ${SOURCE}/${page} _text)
  get_filename_component(_dir ${page} DIRECTORY)
  # ![description](picture) and <img alt="description"> → *[picture: description]*
  string(REGEX REPLACE "!\\[([^]]*)\\]\\([^)]*\\)" "*[picture: \\1]*" _text "${_text}")
  string(REGEX REPLACE "<img [^>]*alt=\"([^\"]*)\"[^>]*>" "*[picture: \\1]*" _text "${_text}")
  # The .deb holds this copy, so a size of the .deb stated in it would change
  # that size: the installed copy says what it is instead.
  string(REGEX REPLACE "<!--=package\\.deb-->[^<]*<!--/-->" "the size of this package"
         _text "${_text}")
  set(_out "")
  # Each [text](target): web addresses and anchors in the page stay; a
  # relative target stays only when it is an installed page.
  while(_text MATCHES "\\[([^]]*)\\]\\(([^)#]*)(#[^)]*)?\\)")
    set(_link "${CMAKE_MATCH_0}")
    set(_label "${CMAKE_MATCH_1}")
    set(_target "${CMAKE_MATCH_2}")
    string(FIND "${_text}" "${_link}" _at)
    string(SUBSTRING "${_text}" 0 ${_at} _before)
    string(LENGTH "${_link}" _length)
    math(EXPR _after "${_at} + ${_length}")
    string(SUBSTRING "${_text}" ${_after} -1 _text)
    set(_keep FALSE)
    if(_target STREQUAL "" OR _target MATCHES "^[a-z]+:")
      set(_keep TRUE)
    else()
      if(_dir)
        get_filename_component(_resolved ${_dir}/${_target} ABSOLUTE BASE_DIR /)
      else()
        get_filename_component(_resolved ${_target} ABSOLUTE BASE_DIR /)
      endif()
      string(REGEX REPLACE "^/" "" _resolved "${_resolved}")
      if(_resolved IN_LIST _shipped)
        set(_keep TRUE)
      endif()
    endif()
    if(_keep)
      string(APPEND _out "${_before}${_link}")
    else()
      string(APPEND _out "${_before}${_label}")
    endif()
  endwhile()
  string(APPEND _out "${_text}")
  file(WRITE ${OUT}/${page} "${_out}")
endforeach()
