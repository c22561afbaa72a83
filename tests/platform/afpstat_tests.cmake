# Tests of the monitoring library over SQLite (linked against the real
# libafpstat.so.1) and of the afpstat command. Only where they are built.
if(TARGET afpstat_lib)
  find_package(nlohmann_json REQUIRED)

  add_library(afpstat_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/afpstat_test_support.cpp)
  target_link_libraries(afpstat_test_support PUBLIC hxm_test_support afpstat_store GTest::gtest)
  target_compile_definitions(afpstat_test_support PRIVATE
    AFPSTAT_COMMAND="$<TARGET_FILE:afpstat>")
  add_dependencies(afpstat_test_support afpstat)

  add_executable(afpstat_platform_tests
    ${CMAKE_CURRENT_LIST_DIR}/afpstat_calls_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/afpstat_store_errors_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/afpstat_concurrency_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/afpstat_scale_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/afpstat_command_test.cpp)
  target_link_libraries(afpstat_platform_tests PRIVATE
    afpstat_lib afpstat_test_support nlohmann_json::nlohmann_json
    GTest::gtest_main Threads::Threads)
  gtest_discover_tests(afpstat_platform_tests
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS afpstat TIMEOUT 300)

  # Allocation failures: the library's code linked in directly, with the
  # allocator wrapped so that the test can fail the Nth allocation.
  add_executable(afpstat_alloc_fault_tests
    ${CMAKE_CURRENT_LIST_DIR}/afpstat_alloc_fault_test.cpp
    $<TARGET_OBJECTS:afpstat_core>)
  target_link_libraries(afpstat_alloc_fault_tests PRIVATE
    afpstat_test_support afpstat_store GTest::gtest_main)
  target_link_options(afpstat_alloc_fault_tests PRIVATE
    -Wl,--wrap=malloc -Wl,--wrap=calloc -Wl,--wrap=realloc)
  gtest_discover_tests(afpstat_alloc_fault_tests
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS afpstat)

  # The built library: its soname, and no exported name beyond the contract.
  add_test(NAME afpstat_library_exports
    COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:afpstat_lib>
            -P ${CMAKE_CURRENT_LIST_DIR}/afpstat_exports_check.cmake)
  set_tests_properties(afpstat_library_exports PROPERTIES LABELS afpstat)
endif()
