# One case of the JDK search: configures of this project with fake JDKs in WORK
# (scripts printing what java and javac -version print, empty headers).
#   -DCASE= -DSOURCE= project -DWORK= scratch folder -DGENERATOR= -DCXX= -DMAKE=
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(REAL_PATH "${WORK}" WORK)  # as pwd -P names it
set(build "${WORK}/build")

# fake_jdk(<name> <version> <tools>...): WORK/<name> with the tools named, and
# the headers when javac is one of them.
function(fake_jdk name version)
  set(java "echo 'openjdk version \"${version}\" 2023-10-17' >&2")
  set(javac "echo 'javac ${version}'")
  set(jar "true")
  foreach(tool IN LISTS ARGN)
    file(WRITE "${WORK}/${name}/bin/${tool}" "#!/bin/sh\n${${tool}}\n")
    file(CHMOD "${WORK}/${name}/bin/${tool}" PERMISSIONS OWNER_READ OWNER_EXECUTE)
  endforeach()
  if("javac" IN_LIST ARGN)
    file(WRITE "${WORK}/${name}/include/jni.h" "")
    file(WRITE "${WORK}/${name}/include/linux/jni_md.h" "")
  endif()
endfunction()

# check(<PASS|FAIL> <JAVA_HOME in the environment, or NONE> [IN <folder cmake runs in>]
#       [ARGS <cmake arguments>...] [HAS <text>...] [LACKS <text>...])
function(check status java_home)
  cmake_parse_arguments(C "" "IN" "ARGS;HAS;LACKS" ${ARGN})
  set(in "")
  if(C_IN)
    set(in WORKING_DIRECTORY "${C_IN}")
  endif()
  if(java_home STREQUAL "NONE")
    unset(ENV{JAVA_HOME})
  else()
    set(ENV{JAVA_HOME} "${java_home}")
  endif()
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${build}" -G "${GENERATOR}"
            "-DCMAKE_CXX_COMPILER=${CXX}" "-DCMAKE_MAKE_PROGRAM=${MAKE}" ${C_ARGS}
    ${in} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REGEX REPLACE "\n  +" " " out "${out}")  # unwrap messages
  set(bad "")
  set(got FAIL)
  if(rc EQUAL 0)
    set(got PASS)
  endif()
  if(NOT got STREQUAL status)
    string(APPEND bad "\n  exit status ${rc}, expected ${status}")
  endif()
  foreach(text IN LISTS C_HAS C_LACKS)
    string(FIND "${out}" "${text}" at)
    if(text IN_LIST C_HAS AND at LESS 0)
      string(APPEND bad "\n  output lacks '${text}'")
    elseif(text IN_LIST C_LACKS AND at GREATER_EQUAL 0)
      string(APPEND bad "\n  output holds '${text}'")
    endif()
  endforeach()
  if(bad)
    message(FATAL_ERROR "case ${CASE}:${bad}\n--- configure output:\n${out}")
  endif()
endfunction()

set(jni_on -DPILEOGRAPH_BUILD_TESTS=OFF -DPILEOGRAPH_BUILD_JNI=ON)
set(jni_auto -DPILEOGRAPH_BUILD_TESTS=OFF -DPILEOGRAPH_BUILD_JNI=AUTO)
set(j17 "${WORK}/jdk17")
set(skipped "): libJPileograph and its tests skipped")
if(CASE STREQUAL "stale_cache")
  # A rejected JDK is named, and not taken again from the cache.
  fake_jdk(jdk11 11.0.21 java javac jar)
  fake_jdk(jdk17 17.0.9 java javac jar)
  check(FAIL "${WORK}/jdk11" ARGS ${jni_on} HAS "java ${WORK}/jdk11/bin/java is 11.0.21"
        "javac ${WORK}/jdk11/bin/javac is 11.0.21")
  set(ENV{PATH} "${j17}/bin:$ENV{PATH}")
  check(PASS NONE ARGS ${jni_on} LACKS jdk11
        HAS "java ${j17}/bin/java, javac ${j17}/bin/javac, jar ${j17}/bin/jar, headers ${j17}/include and ${j17}/include/linux\n")
elseif(CASE STREQUAL "taken")
  fake_jdk(jdk17 17.0.9 java javac jar)
  check(PASS "${j17}" ARGS ${jni_on}
        HAS "-- JDK 17.0.9 (JAVA_HOME=${j17}): java ${j17}/bin/java, javac ${j17}/bin/javac, jar ${j17}/bin/jar, headers ${j17}/include and ${j17}/include/linux\n")
elseif(CASE STREQUAL "missing_home")
  check(FAIL /nonexistent ARGS ${jni_on} HAS "(JAVA_HOME=/nonexistent: no such folder)")
  file(WRITE "${WORK}/jdk" "")
  check(FAIL "${WORK}/jdk" ARGS ${jni_on} HAS "(JAVA_HOME=${WORK}/jdk: a file, not a folder)")
elseif(CASE STREQUAL "relative_home")
  # Taken from the folder cmake runs in, not the source or build folder; a
  # reconfigure run in the build (as the build tool does) keeps the JDK taken.
  fake_jdk(jdk17 17.0.9 java javac jar)
  file(CREATE_LINK jdk17 "${WORK}/link" SYMBOLIC)
  set(link "${WORK}/link")
  set(taken "-- JDK 17.0.9 (JAVA_HOME=${j17}): java ${j17}/bin/java, javac ${j17}/bin/javac, jar ${j17}/bin/jar, headers ${j17}/include and ${j17}/include/linux\n")
  check(PASS jdk17 IN "${WORK}" ARGS ${jni_on} HAS "${taken}")
  check(PASS jdk17 IN "${build}" HAS "${taken}")
  set(taken "-- JDK 17.0.9 (JAVA_HOME=${link}): java ${link}/bin/java, javac ${link}/bin/javac, jar ${link}/bin/jar, headers ${link}/include and ${link}/include/linux\n")
  check(PASS NONE IN "${WORK}" ARGS ${jni_on} -DJAVA_HOME=link HAS "${taken}")
  check(PASS NONE IN "${build}" HAS "${taken}")
elseif(CASE STREQUAL "path_javac")
  # A javac link leads to its JDK, whose own javac is taken unless it is the
  # one given.
  fake_jdk(jdk17 17.0.9 java javac jar)
  set(link "${WORK}/path/javac")
  file(MAKE_DIRECTORY "${WORK}/path")
  file(CREATE_LINK "${j17}/bin/javac" "${link}" SYMBOLIC)
  check(PASS NONE ARGS ${jni_on} -DJava_JAVAC_EXECUTABLE=${link}
        HAS "(JDK of Java_JAVAC_EXECUTABLE: ${j17}): java ${j17}/bin/java, javac ${link}, jar")
  set(ENV{PATH} "${WORK}/path:$ENV{PATH}")
  check(PASS NONE ARGS -UJava_JAVAC_EXECUTABLE LACKS "${link}"
        HAS "(JDK of javac on PATH: ${j17}): java ${j17}/bin/java, javac ${j17}/bin/javac, jar")
elseif(CASE STREQUAL "usr_home")
  # /usr has java and javac (links into a JDK) but no JNI headers.
  if(NOT EXISTS /usr/include/jni.h)
    set(has "no jni.h in /usr/include; no jni_md.h in /usr/include${skipped}")
  endif()
  check(PASS /usr ARGS ${jni_auto} HAS ${has} LACKS /usr/lib/jvm)
elseif(CASE STREQUAL "jre_home")
  # Given as a CMake variable; the javac on PATH is not taken instead.
  fake_jdk(jre 17.0.9 java)
  set(jre "${WORK}/jre")
  check(PASS NONE ARGS ${jni_auto} -DJAVA_HOME=${jre} LACKS "-- JDK "
        HAS "(JAVA_HOME=${jre}: no javac in ${jre}/bin; no jni.h in ${jre}/include; no jni_md.h in ${jre}/include${skipped}")
elseif(CASE STREQUAL "no_jar")
  # The library and its C++ tests are built; the Java tests are not.
  fake_jdk(jdk17 17.0.9 java javac)
  check(PASS "${j17}" ARGS -DPILEOGRAPH_BUILD_TESTS=ON
        HAS "No jar in ${j17}/bin: the Java tests of libJPileograph are skipped")
  file(READ "${build}/tests/jni/CTestTestfile.cmake" jni_tests)
  if(NOT IS_DIRECTORY "${build}/jni/CMakeFiles/JPileograph.dir"
     OR NOT IS_DIRECTORY "${build}/tests/jni/CMakeFiles/JniWrap_test.dir"
     OR jni_tests MATCHES "jni_java_")
    message(FATAL_ERROR "no_jar: want JPileograph and JniWrap_test, no Java tests")
  endif()
else()
  message(FATAL_ERROR "ConfigureJDK.cmake: unknown case '${CASE}'")
endif()
