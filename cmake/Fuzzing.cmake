# libFuzzer targets, run briefly as tests where clang and its fuzzer runtime
# are installed (developer build only).

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

# The shared page code every area calls, the in-process host and the
# scriptable monitoring library, below the source tree.
set(HXM_PAGE_FUZZ_COMMON_SOURCES
  core/post_body.cpp core/escape.cpp core/error_page.cpp core/page_text.cpp
  core/page_frame.cpp core/page_globals.cpp core/localisation.cpp core/server_paths.cpp
  base/root_paths.cpp monitor/actions.cpp monitor/close_files.cpp
  pages/common/component_path.cpp pages/common/request.cpp
  pages/help/help_pages.cpp pages/help/help_wrappers.cpp
  platform/console/body_buffer.cpp platform/console/form_codec.cpp
  platform/console/handle_request.cpp platform/console/html_escape.cpp
  platform/console/page_frame.cpp platform/console/path_codec.cpp
  platform/console/registry.cpp platform/console/request_calls.cpp
  platform/console/response_calls.cpp
  tests/support/scripted_afpstat_build.cpp tests/support/scripted_afpstat_calls.cpp
  tests/support/scripted_afpstat_control.cpp tests/support/scripted_afpstat_state.cpp)

# hxm_page_fuzzers(<area> DESCRIPTION <text> SOURCES <path below the tree>...
#                  HARNESSES <name>... [QUIET])
# Coverage needs clang's instrumentation in the code under test, so clang
# builds the sources (the area's code and what else it calls) with the
# shared page code above and the calling folder's fuzz_logger_stub.cpp into
# one fuzz-only shared object. Each
# harness <name>_fuzz.cpp of the calling folder is linked to it as target
# <area>_<name>_fuzzer and run for five seconds as test <area>_<name>_fuzz
# over fuzz_corpus/<name>; new inputs go to the build folder's corpus, the
# seeds stay as committed. QUIET keeps the harness's standard output out of
# the log.
function(hxm_page_fuzzers area)
  cmake_parse_arguments(PARSE_ARGV 1 arg "QUIET" "DESCRIPTION" "SOURCES;HARNESSES")
  if(NOT arg_SOURCES OR NOT arg_HARNESSES OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hxm_page_fuzzers(${area}): SOURCES and HARNESSES required; "
                        "unexpected: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  set(fuzz_dir ${CMAKE_CURRENT_BINARY_DIR}/fuzz)
  set(flags -std=gnu++17 -g -O1 -Wall -Wextra -fsanitize=address,undefined
      -fno-sanitize-recover=undefined -Wno-char-subscripts -I${CMAKE_SOURCE_DIR})
  set(sources)
  foreach(source IN LISTS arg_SOURCES HXM_PAGE_FUZZ_COMMON_SOURCES)
    list(APPEND sources ${CMAKE_SOURCE_DIR}/${source})
  endforeach()
  list(APPEND sources ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_logger_stub.cpp)
  set(library ${fuzz_dir}/lib${area}_fuzz.so)
  add_custom_command(OUTPUT ${library}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${fuzz_dir}
    COMMAND ${HXM_CLANGXX} ${flags} -fsanitize=fuzzer-no-link -fPIC -shared
            ${sources} -o ${library}
    DEPENDS ${sources}
    COMMENT "Building the ${arg_DESCRIPTION} for fuzzing (clang)"
    VERBATIM)
  foreach(harness IN LISTS arg_HARNESSES)
    set(name ${area}_${harness})
    set(fuzzer ${fuzz_dir}/${name}_fuzzer)
    add_custom_command(OUTPUT ${fuzzer}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${fuzz_dir}/corpus_${harness}
      COMMAND ${HXM_CLANGXX} ${flags} -fsanitize=fuzzer
              ${CMAKE_CURRENT_SOURCE_DIR}/${harness}_fuzz.cpp ${library}
              -Wl,-rpath,${fuzz_dir} -o ${fuzzer}
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${harness}_fuzz.cpp ${library}
      COMMENT "Linking the ${area} ${harness} fuzzer (clang)"
      VERBATIM)
    add_custom_target(${name}_fuzzer ALL DEPENDS ${fuzzer})
    set(run_arguments -max_total_time=5 -seed=1 -max_len=4096)
    set(corpus ${fuzz_dir}/corpus_${harness})
    set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus/${harness})
    if(arg_QUIET)
      string(JOIN " " run_text ${run_arguments})
      add_test(NAME ${name}_fuzz
        COMMAND sh -c "exec \"$0\" ${run_text} \"$1\" \"$2\" >/dev/null" ${fuzzer} ${corpus} ${seeds})
    else()
      add_test(NAME ${name}_fuzz COMMAND ${fuzzer} ${run_arguments} ${corpus} ${seeds})
    endif()
    set_tests_properties(${name}_fuzz PROPERTIES TIMEOUT 120
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")
  endforeach()
endfunction()
