# The scriptable monitoring library: a second libafpstat.so.1, whose answers
# unit tests stage, in a folder of its own so a test can put it first on the
# library path. Builds for -m32 as well: no SQLite here.
add_library(scripted_afpstat SHARED
  ${CMAKE_CURRENT_LIST_DIR}/scripted_afpstat_build.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scripted_afpstat_calls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scripted_afpstat_control.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scripted_afpstat_state.cpp)
set_target_properties(scripted_afpstat PROPERTIES
  OUTPUT_NAME afpstat
  SOVERSION 1
  LIBRARY_OUTPUT_DIRECTORY ${HXM_SCRIPTED_LIB_DIR})
target_link_libraries(scripted_afpstat PUBLIC Threads::Threads)

if(HXM_TESTS)
  add_executable(scripted_afpstat_test ${CMAKE_CURRENT_LIST_DIR}/scripted_afpstat_test.cpp)
  target_link_libraries(scripted_afpstat_test PRIVATE scripted_afpstat GTest::gtest_main)
  gtest_discover_tests(scripted_afpstat_test DISCOVERY_MODE PRE_TEST)
endif()
