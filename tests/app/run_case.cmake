# Runs pileograph-txt once in a fresh working directory and compares its exit
# status, standard output, standard error, "usrctest.fa" and pileup file with
# the expected files (a missing expected file means the run must not write it).
#
#   -DPROGRAM=  the program         -DWORK=     working directory (recreated)
#   -DINPUTS=   files copied there  -DARGS=     the arguments (both '|'-separated)
#   -DSTATUS=   expected exit status
#   -DEXPECTED= folder of stdout.txt, stderr.txt, usrctest.fa, pileup.txt
#   -DEXPECTED_PILEUP= expected pileup file elsewhere (optional)
#   -DREGENERATE=ON  writes the expected files from this run instead
cmake_minimum_required(VERSION 3.20)

string(REPLACE "|" ";" INPUTS "${INPUTS}")
string(REPLACE "|" ";" ARGS "${ARGS}")

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
foreach(input IN LISTS INPUTS)
  file(COPY "${input}" DESTINATION "${WORK}")
endforeach()

execute_process(COMMAND "${PROGRAM}" ${ARGS}
                WORKING_DIRECTORY "${WORK}"
                OUTPUT_FILE "${WORK}.stdout"
                ERROR_FILE "${WORK}.stderr"
                RESULT_VARIABLE status)

# Produced file -> expected file; the pileup is the third argument.
set(pairs "${WORK}.stdout=${EXPECTED}/stdout.txt" "${WORK}.stderr=${EXPECTED}/stderr.txt"
          "${WORK}/usrctest.fa=${EXPECTED}/usrctest.fa")
list(LENGTH ARGS nargs)
if(nargs GREATER 2)
  list(GET ARGS 2 pileup)
  if(NOT IS_ABSOLUTE "${pileup}")
    if(NOT EXPECTED_PILEUP)
      set(EXPECTED_PILEUP "${EXPECTED}/pileup.txt")
    endif()
    list(APPEND pairs "${WORK}/${pileup}=${EXPECTED_PILEUP}")
  endif()
endif()

if(REGENERATE)
  file(MAKE_DIRECTORY "${EXPECTED}")
  foreach(pair IN LISTS pairs)
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 got)
    list(GET pair 1 want)
    if(EXISTS "${got}")
      configure_file("${got}" "${want}" COPYONLY)
    else()
      file(REMOVE "${want}")
    endif()
  endforeach()
  message(STATUS "regenerated ${EXPECTED} (exit status ${status}, table says ${STATUS})")
  return()
endif()

set(failed FALSE)
if(NOT "${status}" STREQUAL "${STATUS}")
  message(SEND_ERROR "exit status ${status}, expected ${STATUS}")
  set(failed TRUE)
endif()
foreach(pair IN LISTS pairs)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 got)
  list(GET pair 1 want)
  if(EXISTS "${want}")
    if(NOT EXISTS "${got}")
      message(SEND_ERROR "${got} was not written")
      set(failed TRUE)
      continue()
    endif()
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${got}" "${want}"
                    RESULT_VARIABLE differ)
    if(differ)
      file(READ "${got}" got_text)
      file(READ "${want}" want_text)
      message(SEND_ERROR "${got} differs from ${want}\n--- got:\n${got_text}\n--- expected:\n${want_text}")
      set(failed TRUE)
    endif()
  elseif(EXISTS "${got}")
    message(SEND_ERROR "${got} was written, expected none")
    set(failed TRUE)
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "case ${WORK} failed")
endif()
