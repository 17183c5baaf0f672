# Turns a program's help text into a manual page (script mode, run at build time).
#
# Input: PW_PROGRAM (the built program), PW_HELP_ARGS (its arguments that print the help,
# separated by spaces), PW_NAME (the page's name), PW_SUMMARY (one line for NAME), optionally
# PW_DESCRIPTION (a first paragraph), PW_VERSION, PW_OUT (the .1 file to write).
#
# The help text's shape: "usage: NAME ..." first, then blocks under headings of one word and a
# colon ("Commands:", "Keys:"); in a block an entry starts two spaces in (continued eight
# spaces in), its description four spaces in; lines at the margin are plain paragraphs.

foreach(_pw_var PW_PROGRAM PW_NAME PW_SUMMARY PW_VERSION PW_OUT)
  if(NOT DEFINED ${_pw_var})
    message(FATAL_ERROR "make_manpage: ${_pw_var} is required")
  endif()
endforeach()
separate_arguments(_pw_args UNIX_COMMAND "${PW_HELP_ARGS}")

# A sanitized build's leak report must not end up in the page.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(COMMAND ${PW_PROGRAM} ${_pw_args}
  OUTPUT_VARIABLE _pw_help
  RESULT_VARIABLE _pw_result
  ERROR_VARIABLE _pw_errors)
if(NOT _pw_result EQUAL 0 OR _pw_help STREQUAL "")
  message(FATAL_ERROR "make_manpage: '${PW_PROGRAM} ${PW_HELP_ARGS}' failed (${_pw_result}): ${_pw_errors}")
endif()

# Text for roff: backslashes and hyphens escaped, a leading dot or quote made harmless.
function(_pw_roff _pw_text _pw_result_var)
  string(REPLACE "\\" "\\e" _pw_text "${_pw_text}")
  string(REPLACE "-" "\\-" _pw_text "${_pw_text}")
  string(REPLACE "\"" "\\(dq" _pw_text "${_pw_text}")
  if(_pw_text MATCHES "^[.']")
    set(_pw_text "\\&${_pw_text}")
  endif()
  set(${_pw_result_var} "${_pw_text}" PARENT_SCOPE)
endfunction()

string(TOUPPER "${PW_NAME}" _pw_title)
_pw_roff("${PW_NAME}" _pw_name_roff)
_pw_roff("${PW_SUMMARY}" _pw_summary_roff)
set(_pw_page ".TH ${_pw_title} 1 \"\" \"Pacewright ${PW_VERSION}\" \"User Commands\"\n")
string(APPEND _pw_page ".SH NAME\n${_pw_name_roff} \\- ${_pw_summary_roff}\n")
set(_pw_description ".SH DESCRIPTION\n")
if(DEFINED PW_DESCRIPTION)
  _pw_roff("${PW_DESCRIPTION}" _pw_text)
  string(APPEND _pw_description "${_pw_text}\n")
endif()

# Line by line without CMake lists: a help text's brackets and semicolons would split them.
string(REPLACE "\r" "" _pw_help "${_pw_help}")
set(_pw_first TRUE)
set(_pw_in_synopsis FALSE)
set(_pw_in_entry FALSE)
while(NOT _pw_help STREQUAL "")
  string(FIND "${_pw_help}" "\n" _pw_end)
  if(_pw_end EQUAL -1)
    set(_pw_line "${_pw_help}")
    set(_pw_help "")
  else()
    string(SUBSTRING "${_pw_help}" 0 ${_pw_end} _pw_line)
    math(EXPR _pw_end "${_pw_end} + 1")
    string(SUBSTRING "${_pw_help}" ${_pw_end} -1 _pw_help)
  endif()
  if(_pw_first)
    set(_pw_first FALSE)
    if(_pw_line MATCHES "^usage: (.*)$")
      _pw_roff("${CMAKE_MATCH_1}" _pw_text)
      string(APPEND _pw_page ".SH SYNOPSIS\n.nf\n${_pw_text}\n")
      set(_pw_in_synopsis TRUE)
      continue()
    endif()
    string(APPEND _pw_page "${_pw_description}")
  endif()
  if(_pw_in_synopsis)
    if(_pw_line MATCHES "^ +(.*)$")
      _pw_roff("${CMAKE_MATCH_1}" _pw_text)
      string(APPEND _pw_page "${_pw_text}\n")
      continue()
    endif()
    string(APPEND _pw_page ".fi\n${_pw_description}")
    set(_pw_in_synopsis FALSE)
  endif()
  if(_pw_in_entry AND _pw_line MATCHES "^        +([^ ].*)$")
    # An entry's usage continued on the next line.
    _pw_roff("${CMAKE_MATCH_1}" _pw_text)
    string(APPEND _pw_page ".B ${_pw_text}\n.br\n")
    continue()
  endif()
  set(_pw_in_entry FALSE)
  if(_pw_line STREQUAL "")
    string(APPEND _pw_page ".PP\n")
  elseif(_pw_line MATCHES "^([A-Z][A-Za-z -]*):$")
    string(TOUPPER "${CMAKE_MATCH_1}" _pw_heading)
    string(APPEND _pw_page ".SH ${_pw_heading}\n")
  elseif(_pw_line MATCHES "^    +(.*)$")
    _pw_roff("${CMAKE_MATCH_1}" _pw_text)
    string(APPEND _pw_page "${_pw_text}\n")
  elseif(_pw_line MATCHES "^  ([^ ].*)$")
    _pw_roff("${CMAKE_MATCH_1}" _pw_text)
    string(APPEND _pw_page ".TP\n.B ${_pw_text}\n")
    set(_pw_in_entry TRUE)
  else()
    string(STRIP "${_pw_line}" _pw_line)
    _pw_roff("${_pw_line}" _pw_text)
    string(APPEND _pw_page "${_pw_text}\n")
  endif()
endwhile()
if(_pw_in_synopsis)
  string(APPEND _pw_page ".fi\n")
endif()

file(WRITE "${PW_OUT}" "${_pw_page}")
