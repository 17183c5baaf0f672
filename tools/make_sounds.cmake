# Speaks the announcement clips with espeak-ng: one "<token>.wav" per speech token of a lap
# time (the numbers 0 to 59 and the words around them) into PW_SOUNDS_OUT.
#
#   cmake -DPW_ESPEAK=/usr/bin/espeak-ng -DPW_SOUNDS_OUT=<folder> -P make_sounds.cmake
#
# Each clip is written under a scratch name and renamed into place, so a program reading the
# folder while the build runs never sees half a file.
cmake_minimum_required(VERSION 3.25)

set(tokens hour hours minute minutes point second seconds plus minus)
foreach(n RANGE 0 59)
  list(APPEND tokens ${n})
endforeach()

file(MAKE_DIRECTORY "${PW_SOUNDS_OUT}")
string(RANDOM LENGTH 8 scratch_tag)
foreach(token IN LISTS tokens)
  set(target "${PW_SOUNDS_OUT}/${token}.wav")
  set(scratch "${PW_SOUNDS_OUT}/.${token}.wav.${scratch_tag}")
  execute_process(COMMAND "${PW_ESPEAK}" -v en -s 165 -w "${scratch}" "${token}"
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
  if(NOT result EQUAL 0 OR NOT EXISTS "${scratch}")
    file(REMOVE "${scratch}")
    message(FATAL_ERROR "espeak-ng could not speak \"${token}\"")
  endif()
  file(RENAME "${scratch}" "${target}")
endforeach()
