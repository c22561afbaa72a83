# Checks the built monitoring library: soname libafpstat.so.1 and exactly
# the contract's calls exported. Run with -DLIBRARY=<path>.
set(expected
  Ext_ClearOneConnection Ext_CloseFileByFileName Ext_CloseFileByID Ext_GetUserDetails
  Ext_ListConnDetails Ext_ListVolFileDetails Ext_ListVolumeDetails FreeConnListNodes
  FreeUserDetailsNode FreeVolFileListNodes FreeVolsDetailsNode)

execute_process(COMMAND readelf -d ${LIBRARY} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT dynamic MATCHES "Library soname: \\[libafpstat\\.so\\.1\\]")
  message(FATAL_ERROR "soname is not libafpstat.so.1:\n${dynamic}")
endif()

execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(exported)
foreach(line IN LISTS lines)
  # "<address> <type> <name>"; the linker's own markers are not ours.
  if(line MATCHES "^[0-9a-f]+ [A-Za-z] ([^ ]+)$")
    set(name ${CMAKE_MATCH_1})
    if(NOT name MATCHES "^(_init|_fini|_edata|_end|__bss_start)$")
      list(APPEND exported ${name})
    endif()
  endif()
endforeach()
list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exported: ${exported}\nexpected: ${expected}")
endif()
