# Finds the JDK the binding and its tests use: java and javac 17 or newer,
# jni.h and jni_md.h, and jar for the Java tests. No FindJNI: before CMake 3.24
# it also wants AWT, which a headless JDK lacks.
#
# With JAVA_HOME set (CMake or environment variable; a relative one is taken
# from the folder cmake runs in, and kept for reconfigures the build tool runs
# in the build folder) everything is taken from there; otherwise from
# the JDK of the javac on PATH. JAVA_INCLUDE_PATH (jni.h),
# JAVA_INCLUDE_PATH2 (jni_md.h) and the Java_*_EXECUTABLE paths may be set
# instead. A path found here is looked for afresh at every configure, so a
# rejected JDK or an earlier JAVA_HOME does not stay in the cache.
#
# pileograph_find_jdk() reads PILEOGRAPH_BUILD_JNI_MODE (AUTO or ON) and
# pileograph_build_tests, and sets pileograph_build_jni, pileograph_java_tests,
# pileograph_jni_include_dirs and Java_VERSION.

set(_pileograph_jdk_vars
    Java_JAVA_EXECUTABLE Java_JAVAC_EXECUTABLE Java_JAR_EXECUTABLE JAVA_INCLUDE_PATH JAVA_INCLUDE_PATH2)

# Drops <var> from the cache when the last configure found it, so it is looked
# for again; a value the user set stays. In a build folder configured before,
# but not yet with this module, only a value given on this command line is the
# user's: others were found by FindJava or an older search.
function(_pileograph_jdk_forget var)
  get_property(type CACHE ${var} PROPERTY TYPE)
  if(DEFINED CACHE{_pileograph_found_${var}}
     AND "$CACHE{${var}}" STREQUAL "$CACHE{_pileograph_found_${var}}")
    unset(${var} CACHE)
  elseif(DEFINED CACHE{CMAKE_CACHEFILE_DIR} AND NOT DEFINED CACHE{_pileograph_jdk_searched}
         AND DEFINED CACHE{${var}} AND NOT type STREQUAL "UNINITIALIZED")
    unset(${var} CACHE)
  endif()
  unset(_pileograph_found_${var} CACHE)
  if(DEFINED CACHE{${var}} AND NOT "$CACHE{${var}}" MATCHES "-NOTFOUND$")
    set(_pileograph_user_${var} ON PARENT_SCOPE)
  endif()
endfunction()

# Records a value of <var> found by this configure.
function(_pileograph_jdk_record var)
  if(NOT _pileograph_user_${var} AND ${var})
    set(_pileograph_found_${var} "${${var}}" CACHE INTERNAL "")
  endif()
endfunction()

# Sets <out> to the version <exe> -version prints, empty when none:
# 'openjdk version "17.0.9"', 'javac 17.0.9', 'java version "1.8.0_392"'.
function(_pileograph_java_version exe out)
  execute_process(COMMAND "${exe}" -version
                  RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE text)
  set(version "")
  if(rc EQUAL 0 AND text MATCHES "(version \"|javac )([0-9][0-9._]*)")
    set(version ${CMAKE_MATCH_2})
  endif()
  set(${out} "${version}" PARENT_SCOPE)
endfunction()

# Major version of a version string: 17 for 17.0.9, 8 for 1.8.0_392, 0 for none.
function(_pileograph_java_major version out)
  set(major 0)
  if(version MATCHES "^(1\\.)?([0-9]+)")
    set(major ${CMAKE_MATCH_2})
  endif()
  set(${out} ${major} PARENT_SCOPE)
endfunction()

function(pileograph_find_jdk)
  foreach(var IN LISTS _pileograph_jdk_vars)
    _pileograph_jdk_forget(${var})
  endforeach()

  set(problems)
  set(home "")
  set(from_env OFF)
  if(JAVA_HOME)
    set(home "${JAVA_HOME}")
  elseif(NOT "$ENV{JAVA_HOME}" STREQUAL "")
    set(home "$ENV{JAVA_HOME}")
    set(from_env ON)
  endif()
  # The relative JAVA_HOME of the environment last resolved, and the folder it
  # was taken as; kept only while that is what is used.
  set(env_text "$CACHE{_pileograph_env_java_home}")
  set(env_path "$CACHE{_pileograph_env_java_home_path}")
  unset(_pileograph_env_java_home CACHE)
  unset(_pileograph_env_java_home_path CACHE)
  if(home)
    if(NOT IS_ABSOLUTE "${home}")
      # As java does, from the folder cmake was started in: cmake stays there
      # but resolves relative paths against the source folder, and $ENV{PWD}
      # is stale when cmake is started from a process that changed folder.
      execute_process(COMMAND pwd -P OUTPUT_VARIABLE cwd OUTPUT_STRIP_TRAILING_WHITESPACE)
      file(REAL_PATH "${CMAKE_BINARY_DIR}" build_dir)
      if(from_env AND cwd STREQUAL build_dir AND "${home}" STREQUAL "${env_text}")
        # The build tool reconfigures in the build folder: keep the JDK taken.
        set(home "${env_path}")
      else()
        get_filename_component(home "${home}" ABSOLUTE BASE_DIR "${cwd}")
      endif()
      # Kept for those reconfigures.
      if(from_env)
        set(_pileograph_env_java_home "$ENV{JAVA_HOME}" CACHE INTERNAL "")
        set(_pileograph_env_java_home_path "${home}" CACHE INTERNAL "")
      elseif(DEFINED CACHE{JAVA_HOME})
        set(JAVA_HOME "${home}" CACHE PATH "JDK home" FORCE)
      endif()
    endif()
    set(where "JAVA_HOME=${home}")
    set(advice "set JAVA_HOME to a JDK 17 or newer, or unset it")
    if(NOT EXISTS "${home}")
      list(APPEND problems "no such folder")
      set(home "")
    elseif(NOT IS_DIRECTORY "${home}")
      list(APPEND problems "a file, not a folder")
      set(home "")
    endif()
  else()
    set(advice ".ci/install-deps tests installs openjdk-17-jdk-headless")
    # The javac on PATH only leads to the JDK, whose own javac is then taken.
    set(javac "${Java_JAVAC_EXECUTABLE}")
    set(where "JDK of Java_JAVAC_EXECUTABLE")
    if(NOT _pileograph_user_Java_JAVAC_EXECUTABLE)
      unset(_pileograph_path_javac CACHE)
      find_program(_pileograph_path_javac javac)
      set(javac "${_pileograph_path_javac}")
      unset(_pileograph_path_javac CACHE)
      set(where "JDK of javac on PATH")
    endif()
    if(javac)
      get_filename_component(real "${javac}" REALPATH)
      get_filename_component(home "${real}" DIRECTORY)
      get_filename_component(home "${home}" DIRECTORY)
      string(APPEND where ": ${home}")
    else()
      set(where "JAVA_HOME not set")
      list(APPEND problems "no javac on PATH")
    endif()
  endif()

  set(Java_VERSION "")
  if(home)
    find_program(Java_JAVA_EXECUTABLE java PATHS "${home}/bin" NO_DEFAULT_PATH DOC "java of the JDK")
    find_program(Java_JAVAC_EXECUTABLE javac PATHS "${home}/bin" NO_DEFAULT_PATH DOC "javac of the JDK")
    find_program(Java_JAR_EXECUTABLE jar PATHS "${home}/bin" NO_DEFAULT_PATH DOC "jar of the JDK")
    foreach(tool java javac)
      string(TOUPPER ${tool} TOOL)
      set(exe "${Java_${TOOL}_EXECUTABLE}")
      if(NOT exe)
        list(APPEND problems "no ${tool} in ${home}/bin")
        continue()
      endif()
      _pileograph_java_version("${exe}" version)
      _pileograph_java_major("${version}" major)
      if(major LESS 17)
        if(version)
          list(APPEND problems "${tool} ${exe} is ${version}, not 17 or newer")
        else()
          list(APPEND problems "${tool} ${exe} prints no version")
        endif()
      elseif(tool STREQUAL "java")
        set(Java_VERSION ${version})
      endif()
    endforeach()

    find_path(JAVA_INCLUDE_PATH jni.h PATHS "${home}/include" NO_DEFAULT_PATH
              DOC "Folder of the JDK's jni.h")
    set(md_paths "${home}/include")
    if(JAVA_INCLUDE_PATH)
      list(PREPEND md_paths "${JAVA_INCLUDE_PATH}")
    endif()
    find_path(JAVA_INCLUDE_PATH2 jni_md.h PATHS ${md_paths} PATH_SUFFIXES linux NO_DEFAULT_PATH
              DOC "Folder of the JDK's jni_md.h")
  endif()
  foreach(header jni.h:JAVA_INCLUDE_PATH jni_md.h:JAVA_INCLUDE_PATH2)
    string(REPLACE ":" ";" header "${header}")
    list(GET header 0 file)
    list(GET header 1 var)
    if(_pileograph_user_${var})
      if(NOT EXISTS "${${var}}/${file}")
        list(APPEND problems "no ${file} in ${var}=${${var}}")
        set(advice "correct ${var}, or drop it with -U${var}")
      endif()
    elseif(home AND NOT ${var})
      list(APPEND problems "no ${file} in ${home}/include")
    endif()
  endforeach()
  foreach(var IN LISTS _pileograph_jdk_vars)
    _pileograph_jdk_record(${var})
  endforeach()
  mark_as_advanced(${_pileograph_jdk_vars})
  set(_pileograph_jdk_searched ON CACHE INTERNAL "")

  set(build_jni OFF)
  set(java_tests OFF)
  if(NOT problems)
    set(build_jni ON)
    set(taken "java ${Java_JAVA_EXECUTABLE}, javac ${Java_JAVAC_EXECUTABLE}")
    if(Java_JAR_EXECUTABLE)
      string(APPEND taken ", jar ${Java_JAR_EXECUTABLE}")
    endif()
    message(STATUS "JDK ${Java_VERSION} (${where}): ${taken}, "
                   "headers ${JAVA_INCLUDE_PATH} and ${JAVA_INCLUDE_PATH2}")
    if(pileograph_build_tests)
      if(Java_JAR_EXECUTABLE)
        set(java_tests ON)
      else()
        message(STATUS "No jar in ${home}/bin: the Java tests of libJPileograph are skipped, "
                       "its other tests are built")
      endif()
    endif()
  else()
    string(REPLACE ";" "; " problems "${problems}")
    if(PILEOGRAPH_BUILD_JNI_MODE STREQUAL "ON")
      message(FATAL_ERROR "PILEOGRAPH_BUILD_JNI=ON but no JDK 17 was found "
                          "(${where}: ${problems}): ${advice}")
    endif()
    message(STATUS "No JDK 17 (${where}: ${problems}): libJPileograph and its tests skipped "
                   "(${advice})")
  endif()

  set(pileograph_build_jni ${build_jni} PARENT_SCOPE)
  set(pileograph_java_tests ${java_tests} PARENT_SCOPE)
  set(pileograph_jni_include_dirs ${JAVA_INCLUDE_PATH} ${JAVA_INCLUDE_PATH2} PARENT_SCOPE)
  set(Java_VERSION "${Java_VERSION}" PARENT_SCOPE)
endfunction()
