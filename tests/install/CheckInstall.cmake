# Installs the build into PREFIX and checks what lands there: pileograph-txt in
# BINDIR lays out the example, and LIBRARY (when set) is in LIBDIR. Installed
# files must not look for libraries in the build tree.
#
#   -DBUILD= build folder  -DCONFIG= its configuration  -DPREFIX= install prefix
#   -DWORK= scratch folder  -DBINDIR= -DLIBDIR= (relative to PREFIX)
#   -DLIBRARY= file name of libJPileograph, or empty  -DEXAMPLES= examples folder
cmake_minimum_required(VERSION 3.20)

file(REMOVE_RECURSE "${PREFIX}" "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}" --config "${CONFIG}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}")
endif()

set(program "${PREFIX}/${BINDIR}/pileograph-txt")
set(installed "${program}")
if(LIBRARY)
  list(APPEND installed "${PREFIX}/${LIBDIR}/${LIBRARY}")
endif()
foreach(f IN LISTS installed)
  if(NOT EXISTS "${f}")
    message(FATAL_ERROR "${f} was not installed; cmake --install said:\n${out}")
  endif()
  file(READ_ELF "${f}" RPATH rpath RUNPATH runpath)
  foreach(dir IN LISTS rpath runpath)
    string(FIND "${dir}" "${BUILD}" at)
    if(at GREATER_EQUAL 0)
      message(FATAL_ERROR "${f} searches the build tree for libraries: ${dir}")
    endif()
  endforeach()
endforeach()

file(COPY "${EXAMPLES}/contig.fa" "${EXAMPLES}/report.cm" DESTINATION "${WORK}")
execute_process(COMMAND "${program}" contig.fa report.cm pileup.txt
                WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "installed pileograph-txt failed (${rc}): ${err}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/pileup.txt" "${EXAMPLES}/expected-pileup.txt"
                RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "pileup of the installed pileograph-txt differs from ${EXAMPLES}/expected-pileup.txt")
endif()
