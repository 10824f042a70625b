# The AppStream metainfo that software centres show: data/orvix.metainfo.xml.in
# with its release list read from data/debian/changelog (one release per
# entry, newest first, its items as the release notes) and a home page and a
# screenshot only where a public address for them is configured.
# The id, also the desktop entry's installed name: reverse-DNS, as software
# centres ask. The default is a placeholder under the domain reserved for
# examples, like the Maintainer's address: a distribution sets its own.
# ORVIX_APP_ID is set in the top-level CMakeLists.txt, beside the SDL backend
# that gives it to Wayland.
set(ORVIX_HOMEPAGE_URL "" CACHE STRING
    "Public address of ORVIX's home page (metainfo, the Debian package's Homepage); none when empty")
set(ORVIX_SCREENSHOT_URL "" CACHE STRING
    "Public address of a screenshot of the window, for software centres; none when empty")

set(_changelog ${PROJECT_SOURCE_DIR}/data/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_changelog}
                                                               ${PROJECT_SOURCE_DIR}/data/orvix.metainfo.xml.in)

function(_orvix_xml_escape out text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Each entry: "orvix (VERSION) ...", items "  * text" continued on lines
# indented by four, then " -- name <address>  Day, DD Mon YYYY hh:mm:ss zone".
set(ORVIX_METAINFO_RELEASES "")
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(_version "")
set(_items "")
set(_item "")
file(STRINGS ${_changelog} _lines)
foreach(line IN LISTS _lines ITEMS "")  # the empty item ends the last item
  if(line MATCHES "^    +(.*)$" AND NOT _item STREQUAL "")
    string(APPEND _item " ${CMAKE_MATCH_1}")
    continue()
  endif()
  if(NOT _item STREQUAL "")
    _orvix_xml_escape(_item "${_item}")
    string(APPEND _items "          <li>${_item}</li>\n")
    set(_item "")
  endif()
  if(line MATCHES "^orvix \\(([^)]+)\\)")
    set(_version ${CMAKE_MATCH_1})
  elseif(line MATCHES "^  \\* (.*)$")
    set(_item "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^ -- .*  [A-Z][a-z][a-z], ([0-9]+) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    set(_day ${CMAKE_MATCH_1})
    list(FIND _months ${CMAKE_MATCH_2} _month)
    set(_year ${CMAKE_MATCH_3})
    if(_version STREQUAL "" OR _month LESS 0 OR _items STREQUAL "")
      message(FATAL_ERROR "data/debian/changelog: an entry without a version, items or a date "
                          "before '${line}'")
    endif()
    math(EXPR _month "${_month} + 1")
    foreach(var _day _month)
      string(LENGTH "${${var}}" _length)
      if(_length EQUAL 1)
        set(${var} 0${${var}})
      endif()
    endforeach()
    string(APPEND ORVIX_METAINFO_RELEASES
           "    <release version=\"${_version}\" date=\"${_year}-${_month}-${_day}\">\n"
           "      <description>\n        <ul>\n${_items}        </ul>\n      </description>\n"
           "    </release>\n")
    set(_version "")
    set(_items "")
  endif()
endforeach()
if(ORVIX_METAINFO_RELEASES STREQUAL "")
  message(FATAL_ERROR "data/debian/changelog holds no entry")
endif()

set(ORVIX_METAINFO_ADDRESSES "")
if(ORVIX_HOMEPAGE_URL)
  _orvix_xml_escape(_url "${ORVIX_HOMEPAGE_URL}")
  string(APPEND ORVIX_METAINFO_ADDRESSES "  <url type=\"homepage\">${_url}</url>\n")
endif()
if(ORVIX_SCREENSHOT_URL)
  _orvix_xml_escape(_url "${ORVIX_SCREENSHOT_URL}")
  string(APPEND ORVIX_METAINFO_ADDRESSES
         "  <screenshots>\n    <screenshot type=\"default\">\n"
         "      <caption>A corner of the room, lit from the cube</caption>\n"
         "      <image>${_url}</image>\n    </screenshot>\n  </screenshots>\n")
endif()
configure_file(${PROJECT_SOURCE_DIR}/data/orvix.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/${ORVIX_APP_ID}.metainfo.xml @ONLY)
