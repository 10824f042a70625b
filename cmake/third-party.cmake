# Run after orvix.exe is linked (cmake -DMAP=... -DNOTICES=... -DOUT=... -P):
# writes THIRD-PARTY.txt, the notices of the libraries that the static link
# put into orvix.exe, as its link map lists them: every archive member pulled
# in and every object file loaded. A library with no known notice stops the
# build, so that a new dependency cannot slip into the zip without one.
#
# Each rule: a regular expression on "archive(member)" or on an object file's
# path, and the notice in data/notices/ it calls for. The first rule that
# matches counts; one notice is written once.
set(_rules
    "/lib(win)?pthread\\.a\\(" winpthreads
    "/libmingwex\\.a\\([^)]*-(gdtoa|dmisc|gmisc|misc|g_[a-z]*fmt|g__fmt|gethex|hexnan|hd_init|smisc|strtod[a-z]*|strtof|strtopx|sum|ulp|qnan|mingw_pformat)\\.o\\)" mingw-w64-gdtoa
    "/(libgcc|libgcc_eh|libstdc\\+\\+|libssp|libssp_nonshared)\\.a\\(" gcc-runtime
    "/(crtbegin|crtend)\\.o$" gcc-runtime
    "/x86_64-w64-mingw32/lib/[^/]+\\.a\\(" mingw-w64-runtime
    "/x86_64-w64-mingw32/lib/[^/]+\\.o$" mingw-w64-runtime)

foreach(var MAP NOTICES OUT BINARY_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "third-party.cmake: ${var} is not set")
  endif()
endforeach()

# "Archive member included to satisfy reference by file (symbol)" lists each
# member at the start of a line; "LOAD path" names every input, of which the
# object files are linked whole.
file(STRINGS ${MAP} _lines REGEX "^(/[^ ]+\\.a\\([^)]+\\)|LOAD /[^ ]+\\.o)$")
list(TRANSFORM _lines REPLACE "^LOAD " "")
list(REMOVE_DUPLICATES _lines)
set(_found "")
foreach(input IN LISTS _lines)
  if(input MATCHES "^${BINARY_DIR}/")
    continue()  # ORVIX's own: LICENSE.txt
  endif()
  set(_notice "")
  list(LENGTH _rules _count)
  math(EXPR _last "${_count} - 1")
  foreach(i RANGE 0 ${_last} 2)
    list(GET _rules ${i} _pattern)
    if(input MATCHES "${_pattern}")
      math(EXPR _n "${i} + 1")
      list(GET _rules ${_n} _notice)
      break()
    endif()
  endforeach()
  if(_notice STREQUAL "")
    message(FATAL_ERROR "orvix.exe links ${input}, for which cmake/third-party.cmake knows no "
                        "notice: add its licence's notice to data/notices/ and a rule")
  endif()
  list(APPEND _found ${_notice})
endforeach()
if(NOT _found)
  message(FATAL_ERROR "${MAP} lists no library: not a link map of GNU ld?")
endif()
list(REMOVE_DUPLICATES _found)
list(SORT _found)

set(_text "Third-party software in orvix.exe
=================================

orvix.exe is linked statically: besides ORVIX's own code (LICENSE.txt), it
holds parts of the following libraries, whose notices follow.
")
foreach(notice IN LISTS _found)
  file(READ ${NOTICES}/${notice}.txt _notice_text)
  string(APPEND _text "\n\n------------------------------------------------------------------------\n\n"
         "${_notice_text}")
endforeach()
file(CONFIGURE OUTPUT ${OUT} CONTENT "@_text@" @ONLY NEWLINE_STYLE WIN32)
