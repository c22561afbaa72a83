# libFuzzer targets, run briefly as tests where clang and its fuzzer runtime
# are installed (developer build only).
#
# Coverage needs clang's instrumentation in the code under test, so clang
# builds that code into a fuzz-only shared object (hxm_fuzz_library) and
# links each harness to it (hxm_fuzzer). The code is named by plug-in part
# and target, so the fuzz builds take their sources from the same lists as
# the real ones.

# hxm_fuzzing_available(<var>)
# Sets <var> in the caller: TRUE where clang (HXM_CLANGXX) and its fuzzer
# runtime are installed and this is the developer build (address sanitizer,
# not -m32), FALSE otherwise.
function(hxm_fuzzing_available var)
  find_program(HXM_CLANGXX NAMES clang++ clang++-14)
  set(runtime)
  if(HXM_CLANGXX AND NOT HXM_M32 AND HXM_SANITIZE STREQUAL "address")
    execute_process(COMMAND ${HXM_CLANGXX} -print-file-name=libclang_rt.fuzzer-x86_64.a
      OUTPUT_VARIABLE runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(IS_ABSOLUTE "${runtime}" AND EXISTS "${runtime}")
    set(${var} TRUE PARENT_SCOPE)
  else()
    set(${var} FALSE PARENT_SCOPE)
  endif()
endfunction()

set(HXM_FUZZ_FLAGS -std=gnu++17 -g -O1 -Wall -Wextra -fsanitize=address,undefined
    -fno-sanitize-recover=undefined -Wno-char-subscripts -I${CMAKE_SOURCE_DIR}
    -I${CMAKE_SOURCE_DIR}/include)
set(HXM_FUZZ_DIR ${CMAKE_BINARY_DIR}/fuzz)

# Whether fuzz targets are built here: where they are not, the two functions
# below do nothing.
hxm_fuzzing_available(HXM_FUZZING)
if(NOT HXM_FUZZING)
  message(STATUS "no clang fuzzer runtime here (or not the developer build): no fuzz targets")
endif()

# hxm_fuzz_library(<name> [PARTS <part>...] [TARGETS <target>...]
#                  [SOURCES <file>...] [LIBRARIES <lib>...]
#                  [EXPORT_MAP <version script>])
# Builds lib<name>_fuzz.so from the named plug-in parts' sources, the named
# targets' sources and further files of the calling folder, linked to the
# named system libraries (-l<lib>); EXPORT_MAP limits what it exports (the
# others export everything).
function(hxm_fuzz_library name)
  if(NOT HXM_FUZZING)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXPORT_MAP" "PARTS;TARGETS;SOURCES;LIBRARIES")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hxm_fuzz_library(${name}): unexpected ${arg_UNPARSED_ARGUMENTS}")
  endif()
  set(sources)
  if(arg_PARTS)
    hxm_plugin_sources(sources PARTS ${arg_PARTS})
  endif()
  foreach(target IN LISTS arg_TARGETS)
    hxm_target_sources(target_sources ${target})
    list(APPEND sources ${target_sources})
  endforeach()
  foreach(source IN LISTS arg_SOURCES)
    get_filename_component(source ${source} ABSOLUTE)
    list(APPEND sources ${source})
  endforeach()
  set(link_flags)
  if(arg_EXPORT_MAP)
    get_filename_component(map ${arg_EXPORT_MAP} ABSOLUTE)
    set(link_flags -Wl,--version-script=${map})
  endif()
  set(libraries)
  foreach(system_library IN LISTS arg_LIBRARIES)
    list(APPEND libraries -l${system_library})
  endforeach()
  set(objects)
  foreach(source IN LISTS sources)
    hxm_fuzz_object(object ${name} ${source})
    list(APPEND objects ${object})
  endforeach()
  set(library ${HXM_FUZZ_DIR}/lib${name}_fuzz.so)
  add_custom_command(OUTPUT ${library}
    COMMAND ${HXM_CLANGXX} ${HXM_FUZZ_FLAGS} -fsanitize=fuzzer-no-link -shared
            ${link_flags} ${objects} ${libraries} -o ${library}
    DEPENDS ${objects} ${map}
    COMMENT "Linking lib${name}_fuzz.so (clang)"
    VERBATIM)
  add_custom_target(${name}_fuzz_library DEPENDS ${library})
endfunction()

# hxm_fuzz_object(<var> <group> <source>)
# Compiles one source with clang for the fuzz builds, on its own so the
# sources build in parallel, through the build's compiler launcher (ccache)
# and with its headers tracked; sets <var> in the caller to the object.
function(hxm_fuzz_object var group source)
  file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${source})
  string(MAKE_C_IDENTIFIER ${relative} object_name)
  set(object ${HXM_FUZZ_DIR}/${group}.objects/${object_name}.o)
  add_custom_command(OUTPUT ${object}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${HXM_FUZZ_DIR}/${group}.objects
    COMMAND ${CMAKE_CXX_COMPILER_LAUNCHER} ${HXM_CLANGXX} ${HXM_FUZZ_FLAGS}
            -fsanitize=fuzzer-no-link -fPIC -MD -MF ${object}.d -c ${source} -o ${object}
    DEPENDS ${source}
    DEPFILE ${object}.d
    COMMENT "Compiling ${relative} for fuzzing (clang)"
    VERBATIM)
  set(${var} ${object} PARENT_SCOPE)
endfunction()

# hxm_fuzzer(<name> LIBRARY <library name> [MAX_LEN <bytes>] [QUIET])
# Links the calling folder's <name>_fuzz.cpp to lib<library>_fuzz.so and
# runs it for five seconds as test <folder>_<name>_fuzz over the seeds in
# fuzz_corpus/<name>; new inputs go to the build folder, the seeds stay as
# committed. QUIET keeps the harness's standard output out of the log.
function(hxm_fuzzer name)
  if(NOT HXM_FUZZING)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 arg "QUIET" "LIBRARY;MAX_LEN" "")
  if(NOT arg_LIBRARY OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hxm_fuzzer(${name}): LIBRARY required; "
                        "unexpected: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_MAX_LEN)
    set(arg_MAX_LEN 4096)
  endif()
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(test_name ${folder}_${name})
  set(harness ${CMAKE_CURRENT_SOURCE_DIR}/${name}_fuzz.cpp)
  set(library ${HXM_FUZZ_DIR}/lib${arg_LIBRARY}_fuzz.so)
  set(fuzzer ${HXM_FUZZ_DIR}/${test_name}_fuzzer)
  set(corpus ${HXM_FUZZ_DIR}/corpus_${test_name})
  hxm_fuzz_object(harness_object harnesses ${harness})
  add_custom_command(OUTPUT ${fuzzer}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${corpus}
    COMMAND ${HXM_CLANGXX} ${HXM_FUZZ_FLAGS} -fsanitize=fuzzer ${harness_object} ${library}
            -Wl,-rpath,${HXM_FUZZ_DIR} -o ${fuzzer}
    DEPENDS ${harness_object} ${library}
    COMMENT "Linking the ${test_name} fuzzer (clang)"
    VERBATIM)
  add_custom_target(${test_name}_fuzzer ALL DEPENDS ${fuzzer})
  add_dependencies(${test_name}_fuzzer ${arg_LIBRARY}_fuzz_library)
  set(arguments -max_total_time=5 -seed=1 -max_len=${arg_MAX_LEN} ${corpus}
      ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus/${name})
  if(arg_QUIET)
    add_test(NAME ${test_name}_fuzz
      COMMAND sh -c "exec \"$@\" >/dev/null" sh ${fuzzer} ${arguments})
  else()
    add_test(NAME ${test_name}_fuzz COMMAND ${fuzzer} ${arguments})
  endif()
  set_tests_properties(${test_name}_fuzz PROPERTIES TIMEOUT 120
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")
endfunction()
