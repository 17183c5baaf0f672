# pw_add_string_table(<target> <strings folder>): compiles the texts of <strings folder>/*.txt
# into <target> and puts the generated "strings/pw_strings.h" on its public include path.
#
# The table is generated once at configure time, so the header exists before anything that
# includes it is compiled, and again at build time whenever a .txt file changes. A new .txt file
# makes CMake re-run through the CONFIGURE_DEPENDS glob.

set(_pw_string_table_script "${CMAKE_CURRENT_LIST_DIR}/generate_string_table.cmake")

function(pw_add_string_table target strings_dir)
  set(out_dir "${CMAKE_BINARY_DIR}/generated")
  file(GLOB txt_files CONFIGURE_DEPENDS "${strings_dir}/*.txt")

  set(PW_STRINGS_DIR "${strings_dir}")
  set(PW_STRINGS_OUT "${out_dir}")
  include("${_pw_string_table_script}")

  set(header "${out_dir}/strings/pw_strings.h")
  set(source "${out_dir}/strings/pw_strings_table.cpp")
  add_custom_command(
    OUTPUT "${header}" "${source}"
    COMMAND "${CMAKE_COMMAND}" "-DPW_STRINGS_DIR=${strings_dir}" "-DPW_STRINGS_OUT=${out_dir}"
            -P "${_pw_string_table_script}"
    DEPENDS ${txt_files} "${_pw_string_table_script}"
    COMMENT "Generating the string table"
    VERBATIM)
  target_sources(${target} PRIVATE "${source}" "${header}")
  target_include_directories(${target} PUBLIC "${out_dir}")
endfunction()
