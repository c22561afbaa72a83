# Test programs that load the built plug-in through the one test loader
# (plugin_test_host in tests/support). The plug-in links the monitoring
# library; the scriptable stand-in is found first on the library path, so
# tests stage its answers.

# hxm_plugin_test(<name> SOURCES <source>... [LIBRARIES <library>...]
#                 [CAPTURE_SYSLOG] [NO_PRETTY_VALUES])
# Builds the test program <name> from the sources, linked to plugin_test_host,
# its main and the libraries, and registers its tests with ctest to run with
# the scriptable library's folder first on LD_LIBRARY_PATH. CAPTURE_SYSLOG
# exports the program's own syslog functions (tests/support/syslog_capture),
# so the plug-in's syslog output is captured, not sent. NO_PRETTY_VALUES names
# parameterised cases by index rather than by value.
function(hxm_plugin_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "CAPTURE_SYSLOG;NO_PRETTY_VALUES" "" "SOURCES;LIBRARIES")
  if(NOT arg_SOURCES OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hxm_plugin_test(${name}): SOURCES required; "
                        "unexpected: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE plugin_test_host plugin_test_main ${arg_LIBRARIES})
  if(arg_CAPTURE_SYSLOG)
    set(dynamic_list ${CMAKE_SOURCE_DIR}/tests/support/syslog_capture.dynlist)
    target_link_options(${name} PRIVATE -Wl,--dynamic-list=${dynamic_list})
    set_target_properties(${name} PROPERTIES LINK_DEPENDS ${dynamic_list})
  endif()
  set(pretty)
  if(arg_NO_PRETTY_VALUES)
    set(pretty NO_PRETTY_VALUES)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 ${pretty}
    PROPERTIES ENVIRONMENT "LD_LIBRARY_PATH=${HXM_SCRIPTED_LIB_DIR}")
endfunction()
