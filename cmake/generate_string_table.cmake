# Builds the string table from data/strings/*.txt (script mode, or included from
# StringTable.cmake at configure time).
#
# Input: PW_STRINGS_DIR (folder of the .txt files), PW_STRINGS_OUT (output folder; the files
# go to ${PW_STRINGS_OUT}/strings/).
# Output: pw_strings.h with `enum TPwStringId : uint16_t { R_NAME = n, ... }` and
# pw_strings_table.cpp with the texts as UTF-16 literals.
#
# File format (UTF-8): one entry a line, "R_NAME text"; the text runs to the end of the line
# (a CR before the LF is dropped) and may use the escapes \n, \t, \\ and \uXXXX. Blank lines and
# lines starting with '#' are ignored. A line holding only a name gives an empty text.
#
# Numbering: the files are taken in sorted name order and file b (from 0) numbers its entries
# from (b + 1) * 1000 in line order, so adding an entry to one file never renumbers another.
# A name defined twice with the same text keeps its first number; with a different text the
# build stops.

if(NOT DEFINED PW_STRINGS_DIR OR NOT DEFINED PW_STRINGS_OUT)
  message(FATAL_ERROR "generate_string_table: PW_STRINGS_DIR and PW_STRINGS_OUT are required")
endif()

set(_pw_block_size 1000)
set(_pw_max_blocks 64)  # (64 + 1) * 1000 would no longer fit 16 bits

file(GLOB _pw_files "${PW_STRINGS_DIR}/*.txt")
list(SORT _pw_files)
list(LENGTH _pw_files _pw_file_count)
if(_pw_file_count GREATER _pw_max_blocks)
  message(FATAL_ERROR "string table: more than ${_pw_max_blocks} files in ${PW_STRINGS_DIR}")
endif()

# Control characters stand in for backslashes while escapes are rewritten; they cannot occur
# in the text itself because every text is a single line of printable UTF-8.
string(ASCII 1 _pw_bs)

set(_pw_enum "")
set(_pw_tables "")
set(_pw_blocks "")
set(_pw_names "")
set(_pw_block 0)

foreach(_pw_file IN LISTS _pw_files)
  get_filename_component(_pw_base "${_pw_file}" NAME)
  file(READ "${_pw_file}" _pw_content)
  math(EXPR _pw_first "(${_pw_block} + 1) * ${_pw_block_size}")
  set(_pw_index 0)
  set(_pw_line_no 0)
  set(_pw_entries "")
  set(_pw_enum "${_pw_enum}  // ${_pw_base}\n")

  # Walk the lines with string(FIND): list operations would split texts at ';'.
  while(NOT _pw_content STREQUAL "")
    math(EXPR _pw_line_no "${_pw_line_no} + 1")
    string(FIND "${_pw_content}" "\n" _pw_nl)
    if(_pw_nl EQUAL -1)
      set(_pw_line "${_pw_content}")
      set(_pw_content "")
    else()
      string(SUBSTRING "${_pw_content}" 0 ${_pw_nl} _pw_line)
      math(EXPR _pw_next "${_pw_nl} + 1")
      string(SUBSTRING "${_pw_content}" ${_pw_next} -1 _pw_content)
    endif()
    string(REGEX REPLACE "\r$" "" _pw_line "${_pw_line}")
    if(_pw_line MATCHES "^[ \t]*$" OR _pw_line MATCHES "^#")
      continue()
    endif()
    if(NOT _pw_line MATCHES "^([A-Z][A-Z0-9_]*)( (.*))?$")
      message(FATAL_ERROR "${_pw_file}:${_pw_line_no}: expected \"R_NAME text\"")
    endif()
    set(_pw_name "${CMAKE_MATCH_1}")
    set(_pw_text "${CMAKE_MATCH_3}")

    # Every backslash must start one of the four escapes.
    string(REGEX REPLACE "\\\\(n|t|\\\\|u[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f])" ""
           _pw_check "${_pw_text}")
    if(_pw_check MATCHES "\\\\")
      message(FATAL_ERROR "${_pw_file}:${_pw_line_no}: unknown escape in ${_pw_name}")
    endif()

    # \n, \t and \\ mean the same in C++. \uXXXX becomes a hex escape that ends its literal, so
    # that a following hex digit is not swallowed and surrogate halves stay legal.
    string(REPLACE "\\\\" "${_pw_bs}" _pw_text "${_pw_text}")
    string(REPLACE "\"" "\\\"" _pw_text "${_pw_text}")
    string(REGEX REPLACE "\\\\u([0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f])"
           "\\\\x\\1\" u\"" _pw_text "${_pw_text}")
    string(REPLACE "${_pw_bs}" "\\\\" _pw_text "${_pw_text}")

    if(_pw_index GREATER_EQUAL _pw_block_size)
      message(FATAL_ERROR "${_pw_file}: more than ${_pw_block_size} entries")
    endif()
    math(EXPR _pw_id "${_pw_first} + ${_pw_index}")
    string(APPEND _pw_entries "    Entry(u\"${_pw_text}\"),  // ${_pw_id}\n")

    if(DEFINED _pw_seen_${_pw_name})
      if(NOT _pw_seen_${_pw_name} STREQUAL _pw_text)
        message(FATAL_ERROR
          "${_pw_file}:${_pw_line_no}: ${_pw_name} is already defined with another text "
          "in ${_pw_seen_file_${_pw_name}}")
      endif()
    else()
      set(_pw_seen_${_pw_name} "${_pw_text}")
      set(_pw_seen_file_${_pw_name} "${_pw_base}")
      string(APPEND _pw_enum "  ${_pw_name} = ${_pw_id},\n")
    endif()
    math(EXPR _pw_index "${_pw_index} + 1")
  endwhile()

  if(_pw_index EQUAL 0)
    # A zero-length array is not C++; an empty file still keeps its block number.
    string(APPEND _pw_blocks "    {nullptr, 0},  // ${_pw_base}\n")
  else()
    string(APPEND _pw_tables
      "// ${_pw_base}\nconstexpr TPwStringEntry KBlock${_pw_block}[] = {\n${_pw_entries}};\n\n")
    string(APPEND _pw_blocks "    {KBlock${_pw_block}, ${_pw_index}},  // ${_pw_base}\n")
  endif()
  math(EXPR _pw_block "${_pw_block} + 1")
endforeach()

if(_pw_block EQUAL 0)
  string(APPEND _pw_blocks "    {nullptr, 0},\n")
endif()

set(_pw_header "// Generated from data/strings/*.txt by cmake/generate_string_table.cmake. Do not edit.
#pragma once

#include <cstdint>

enum TPwStringId : uint16_t {
${_pw_enum}};
")

set(_pw_source "// Generated from data/strings/*.txt by cmake/generate_string_table.cmake. Do not edit.
#include <cstddef>

#include \"foundation/string_table.h\"

namespace {

template <size_t N>
constexpr TPwStringEntry Entry(const char16_t (&aText)[N]) {
  return TPwStringEntry{aText, static_cast<int32_t>(N - 1)};
}

${_pw_tables}}  // namespace

const TPwStringBlock KPwStringBlocks[] = {
${_pw_blocks}};
const int32_t KPwStringBlockCount = ${_pw_block};
")

# Write through temporary files and replace only on change, so that editing one text does not
# recompile every file that includes the header.
set(_pw_dir "${PW_STRINGS_OUT}/strings")
file(MAKE_DIRECTORY "${_pw_dir}")
foreach(_pw_pair "pw_strings.h;_pw_header" "pw_strings_table.cpp;_pw_source")
  list(GET _pw_pair 0 _pw_out)
  list(GET _pw_pair 1 _pw_var)
  file(WRITE "${_pw_dir}/${_pw_out}.tmp" "${${_pw_var}}")
  file(COPY_FILE "${_pw_dir}/${_pw_out}.tmp" "${_pw_dir}/${_pw_out}" ONLY_IF_DIFFERENT)
  file(REMOVE "${_pw_dir}/${_pw_out}.tmp")
endforeach()
