# orvix-capture's man page OPTIONS section, made from the "Options:" block of
# its --help text (tools/capture/usage.txt), so that the two never differ.
# One ".TP" paragraph per option line ("  --name ARG   text"), its
# continuation lines (indented further) joined to it.
function(orvix_man_options text out)
  string(REGEX REPLACE "^.*\nOptions:\n" "" block "${text}")
  string(REGEX REPLACE "\n\n.*$" "" block "${block}")
  if(block MATCHES ";")
    message(FATAL_ERROR "usage.txt: no semicolons in the Options block, please")
  endif()
  string(REPLACE "\n" ";" lines "${block}")
  set(roff "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^  (-[^ ]*(, -[^ ]*)?)( ([A-Z]+))?  +(.*)$")
      set(name "${CMAKE_MATCH_1}")
      set(arg "${CMAKE_MATCH_4}")
      set(words "${CMAKE_MATCH_5}")
      if(NOT arg STREQUAL "")  # if(arg) would read "N" as false
        string(APPEND roff "\n.TP\n.BI \"${name} \" ${arg}\n${words}")
      else()
        string(APPEND roff "\n.TP\n.B \"${name}\"\n${words}")
      endif()
    elseif(line MATCHES "^ +(.*)$")
      string(APPEND roff " ${CMAKE_MATCH_1}")
    else()
      message(FATAL_ERROR "usage.txt: unexpected line in the Options block: '${line}'")
    endif()
  endforeach()
  # roff: a backslash is \e and a minus sign \-.
  string(REPLACE "\\" "\\e" roff "${roff}")
  string(REPLACE "-" "\\-" roff "${roff}")
  string(REGEX REPLACE "^\n" "" roff "${roff}")
  set(${out} "${roff}" PARENT_SCOPE)
endfunction()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/tools/capture/usage.txt)
file(READ ${PROJECT_SOURCE_DIR}/tools/capture/usage.txt _usage)
orvix_man_options("${_usage}" ORVIX_CAPTURE_MAN_OPTIONS)
