# Runs one Java test program against libJPileograph in a fresh working
# directory, and optionally compares its dump with engine_dump's.
#
#   -DJAVA=java -DCLASSPATH=jar -DLIBRARY=libJPileograph.so -DCLASS=Main
#   -DWORKDIR=dir [-DARGS=a|b|c] [-DPRELOAD=libasan.so] [-DENGINE_DUMP=exe]
#
# ARGS are separated by '|'; with ENGINE_DUMP, the program and engine_dump
# both get ARGS followed by a dump file name, and the dumps must be equal.
# JNI warnings of -Xcheck:jni fail the test.
foreach(var JAVA CLASSPATH LIBRARY CLASS WORKDIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "RunJava.cmake: ${var} not set")
  endif()
endforeach()
string(REPLACE "|" ";" args "${ARGS}")

file(REMOVE_RECURSE "${WORKDIR}")
file(MAKE_DIRECTORY "${WORKDIR}/java")

# The JVM's own allocations look like leaks, and it handles SIGSEGV itself.
set(env_cmd)
if(PRELOAD)
  set(env_cmd ${CMAKE_COMMAND} -E env "LD_PRELOAD=${PRELOAD}"
      "ASAN_OPTIONS=detect_leaks=0:handle_segv=0:allow_user_segv_handler=1:abort_on_error=1")
endif()

set(java_args ${args})
if(ENGINE_DUMP)
  list(APPEND java_args "${WORKDIR}/java.dump")
endif()
execute_process(
  COMMAND ${env_cmd} "${JAVA}" -Xcheck:jni "-Djpileograph.library=${LIBRARY}"
          -cp "${CLASSPATH}" "${CLASS}" ${java_args}
  WORKING_DIRECTORY "${WORKDIR}/java"
  RESULT_VARIABLE rc
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)
message("${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${CLASS} failed: ${rc}")
endif()
if(out MATCHES "(WARNING|FATAL ERROR) in native method")
  message(FATAL_ERROR "${CLASS}: JNI misuse reported by -Xcheck:jni")
endif()

if(ENGINE_DUMP)
  file(MAKE_DIRECTORY "${WORKDIR}/engine")
  execute_process(
    COMMAND "${ENGINE_DUMP}" ${args} "${WORKDIR}/engine.dump"
    WORKING_DIRECTORY "${WORKDIR}/engine"
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "engine_dump failed: ${rc}")
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E compare_files "${WORKDIR}/java.dump" "${WORKDIR}/engine.dump"
    RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    execute_process(COMMAND diff "${WORKDIR}/engine.dump" "${WORKDIR}/java.dump"
                    OUTPUT_VARIABLE d ERROR_VARIABLE d)
    string(SUBSTRING "${d}" 0 4000 d)
    message(FATAL_ERROR "answers through Java differ from the engine's:\n${d}")
  endif()
endif()
