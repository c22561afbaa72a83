# Test programs that load the built plug-in through the test host
# (core_plugin_host). The plug-in links the monitoring library; the
# scriptable stand-in is found first on the library path, so tests stage its
# answers.

# hxm_plugin_test(<name> SOURCES <source>... [LIBRARIES <library>...])
# Builds the test program <name> from the sources, linked to core_plugin_host
# and the libraries, and registers its tests with ctest to run with the
# scriptable library's folder first on LD_LIBRARY_PATH.
function(hxm_plugin_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES")
  if(NOT arg_SOURCES OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hxm_plugin_test(${name}): SOURCES required; "
                        "unexpected: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE core_plugin_host ${arg_LIBRARIES})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "LD_LIBRARY_PATH=${HXM_SCRIPTED_LIB_DIR}")
endfunction()
