# Installs the build into a scratch prefix and checks what a desktop needs of it (script mode,
# run by ctest): the two programs, the menu entry naming them and the icon, the icon in the
# hicolor theme at its folder's size, and the two manual pages with their sections. The entry
# is checked with desktop-file-validate and the pages with groff when those are installed.
#
# Input: PW_BUILD_DIR (the build to install), PW_PREFIX (the scratch prefix, emptied first).

if(NOT DEFINED PW_BUILD_DIR OR NOT DEFINED PW_PREFIX)
  message(FATAL_ERROR "check_install: PW_BUILD_DIR and PW_PREFIX are required")
endif()
set(_failures "")
macro(_pw_fail _pw_text)
  string(APPEND _failures "  ${_pw_text}\n")
endmacro()

file(REMOVE_RECURSE "${PW_PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${PW_BUILD_DIR}" --prefix "${PW_PREFIX}"
  RESULT_VARIABLE _result OUTPUT_VARIABLE _output ERROR_VARIABLE _output)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${_result}):\n${_output}")
endif()

foreach(_file bin/pacewright bin/pacewright-cli share/applications/pacewright.desktop
              share/icons/hicolor/64x64/apps/pacewright.png share/man/man1/pacewright.1
              share/man/man1/pacewright-cli.1 share/pacewright/icons/pacewright.png)
  if(NOT EXISTS "${PW_PREFIX}/${_file}")
    _pw_fail("missing ${_file}")
  endif()
endforeach()

# The entry starts the installed program and names the installed icon.
set(_desktop "${PW_PREFIX}/share/applications/pacewright.desktop")
if(EXISTS "${_desktop}")
  file(STRINGS "${_desktop}" _exec REGEX "^Exec=")
  file(STRINGS "${_desktop}" _icon REGEX "^Icon=")
  if(NOT _exec MATCHES "^Exec=pacewright( |$)")
    _pw_fail("the entry does not start pacewright: '${_exec}'")
  endif()
  if(NOT _icon STREQUAL "Icon=pacewright")
    _pw_fail("the entry does not name the pacewright icon: '${_icon}'")
  endif()
  find_program(_validate desktop-file-validate)
  if(_validate)
    execute_process(COMMAND ${_validate} "${_desktop}" RESULT_VARIABLE _result OUTPUT_VARIABLE _output
      ERROR_VARIABLE _output)
    if(NOT _result EQUAL 0 OR NOT _output STREQUAL "")
      _pw_fail("desktop-file-validate: ${_output}")
    endif()
  else()
    message(STATUS "desktop-file-validate is not installed: the entry's syntax is not checked")
  endif()
endif()

# A PNG of 64 by 64 pixels: the signature, then the header chunk's width and height.
set(_png "${PW_PREFIX}/share/icons/hicolor/64x64/apps/pacewright.png")
if(EXISTS "${_png}")
  file(READ "${_png}" _head LIMIT 24 HEX)
  if(NOT _head MATCHES "^89504e470d0a1a0a0000000d4948445200000040" OR NOT _head MATCHES "00000040$")
    _pw_fail("the hicolor icon is not a 64x64 PNG (${_head})")
  endif()
endif()

foreach(_page pacewright pacewright-cli)
  set(_file "${PW_PREFIX}/share/man/man1/${_page}.1")
  if(NOT EXISTS "${_file}")
    continue()
  endif()
  file(READ "${_file}" _text)
  string(TOUPPER "${_page}" _title)
  foreach(_part ".TH ${_title} 1" ".SH NAME" ".SH SYNOPSIS" ".SH DESCRIPTION")
    string(FIND "${_text}" "${_part}" _at)
    if(_at EQUAL -1)
      _pw_fail("${_page}.1 lacks '${_part}'")
    endif()
  endforeach()
  find_program(_groff groff)
  if(_groff)
    execute_process(COMMAND ${_groff} -man -ww -z "${_file}" RESULT_VARIABLE _result ERROR_VARIABLE _output)
    if(NOT _result EQUAL 0 OR NOT _output STREQUAL "")
      _pw_fail("groff on ${_page}.1: ${_output}")
    endif()
  endif()
endforeach()
# Every command of the command line has its entry in the page.
set(_file "${PW_PREFIX}/share/man/man1/pacewright-cli.1")
if(EXISTS "${_file}")
  file(READ "${_file}" _text)
  foreach(_command tracks sessions laps delta export import record settings)
    string(FIND "${_text}" ".B ${_command}" _at)
    if(_at EQUAL -1)
      _pw_fail("pacewright-cli.1 has no entry for '${_command}'")
    endif()
  endforeach()
endif()

if(NOT _failures STREQUAL "")
  message(FATAL_ERROR "the installation lacks what a desktop needs:\n${_failures}")
endif()
message(STATUS "installed into ${PW_PREFIX}: programs, menu entry, icon and manual pages are there")
