# The open-file page benchmark: the built plug-in through the host's
# in-process request call, the scriptable monitoring library holding the
# files, beside a plain-snprintf baseline. Measure in a Release build
# (-DCMAKE_BUILD_TYPE=Release -DHXM_SANITIZE=none) with standard output sent
# to /dev/null; the results and ratios go to standard error.
if(TARGET hxm2afp AND TARGET scripted_afpstat)
  find_package(benchmark REQUIRED)
  add_executable(openfiles_bench ${CMAKE_CURRENT_LIST_DIR}/openfiles_bench.cpp)
  target_compile_definitions(openfiles_bench PRIVATE HXM_PLUGIN_PATH="$<TARGET_FILE:hxm2afp>")
  target_link_libraries(openfiles_bench PRIVATE benchmark::benchmark hxm scripted_afpstat
                        ${CMAKE_DL_LIBS})
  add_dependencies(openfiles_bench hxm2afp)
  # A quick run at 1,000 files proves it works; the numbers are not checked.
  add_test(NAME openfiles_bench_smoke
    COMMAND openfiles_bench --benchmark_min_time=0.01)
  set_tests_properties(openfiles_bench_smoke PROPERTIES
    ENVIRONMENT "HXM_BENCH_SMOKE=1;LD_LIBRARY_PATH=${HXM_SCRIPTED_LIB_DIR}"
    TIMEOUT 120)
endif()
