# The plug-in is one shared object built from the object libraries of its
# layers (base, logger, core, monitor, history, pages/*, plugin); each folder names its
# own sources and export list once, through hxm_plugin_part.
#
# The layers point one way, bottom to top; the three page areas stand beside
# each other. Each layer's sources are compiled through layer_guard.sh, which
# fails the build when a file reads a header of a layer above or beside its
# own, however the include is spelt.
set(HXM_LAYERS base logger core monitor history pages/common pages/help AREAS plugin)
set(HXM_AREAS pages/connections pages/openfiles pages/logs)
set(HXM_LAYER_GUARD ${CMAKE_CURRENT_LIST_DIR}/layer_guard.sh)

# hxm_guard_includes(<target> <folder>...)
# Compiles <target>'s sources through the guard: they may read headers of the
# named folders of the source tree only (system headers are not its concern).
function(hxm_guard_includes target)
  set_target_properties(${target} PROPERTIES CXX_COMPILER_LAUNCHER
    "${HXM_LAYER_GUARD};${CMAKE_SOURCE_DIR};${CMAKE_BINARY_DIR};${ARGN};--")
  if(CMAKE_CXX_COMPILER_LAUNCHER) # ccache, say: it runs the compile the guard checks
    set_property(TARGET ${target} APPEND PROPERTY CXX_COMPILER_LAUNCHER
      ${CMAKE_CXX_COMPILER_LAUNCHER})
  endif()
endfunction()

# hxm_layer_sees(<var> <folder>)
# Sets <var> to the folders whose headers the layer in <folder> may read:
# the contracts, the layers below it and its own.
function(hxm_layer_sees var folder)
  set(seen include)
  set(own ${folder})
  if(folder IN_LIST HXM_AREAS)
    set(own AREAS)
  elseif(NOT folder IN_LIST HXM_LAYERS)
    message(FATAL_ERROR "${folder} is no layer of the plug-in (cmake/Plugin.cmake)")
  endif()
  foreach(layer IN LISTS HXM_LAYERS)
    if(layer STREQUAL "AREAS" AND own STREQUAL "AREAS")
      list(APPEND seen ${folder}) # an area sees no other area
    elseif(layer STREQUAL "AREAS")
      list(APPEND seen ${HXM_AREAS})
    else()
      list(APPEND seen ${layer})
    endif()
    if(layer STREQUAL own)
      break()
    endif()
  endforeach()
  set(${var} ${seen} PARENT_SCOPE)
endfunction()

# hxm_plugin_part(<part> SOURCES <source>... [EXPORTS <list>])
# Builds the folder's sources as object library hxm2afp_<part> with the
# plug-in's visibility rules and records it, with its export list (one
# symbol per line as the linker sees it, '#' comments), for plugin/.
function(hxm_plugin_part part)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXPORTS" "SOURCES")
  if(NOT arg_SOURCES OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hxm_plugin_part(${part}): SOURCES required; "
                        "unexpected: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  set(target hxm2afp_${part})
  add_library(${target} OBJECT ${arg_SOURCES})
  set_target_properties(${target} PROPERTIES
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # A unique-bound symbol would pin the object in memory: dlclose must unload it.
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
  endif()
  file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  hxm_layer_sees(seen ${folder})
  hxm_guard_includes(${target} ${seen})
  set_property(GLOBAL APPEND PROPERTY HXM_PLUGIN_PARTS ${target})
  if(arg_EXPORTS)
    get_filename_component(list ${arg_EXPORTS} ABSOLUTE)
    if(NOT EXISTS ${list})
      message(FATAL_ERROR "hxm_plugin_part(${part}): no export list ${list}")
    endif()
    set_property(GLOBAL APPEND PROPERTY HXM_PLUGIN_EXPORT_LISTS ${list})
  endif()
endfunction()

# hxm_plugin_sources(<var> [PARTS <part>...])
# Sets <var> to the absolute paths of the named plug-in parts' sources (every
# part when none is named), in layer order.
function(hxm_plugin_sources var)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "PARTS")
  get_property(parts GLOBAL PROPERTY HXM_PLUGIN_PARTS)
  set(result)
  foreach(target IN LISTS parts)
    string(REGEX REPLACE "^hxm2afp_" "" part ${target})
    if(arg_PARTS AND NOT part IN_LIST arg_PARTS)
      continue()
    endif()
    hxm_target_sources(sources ${target})
    list(APPEND result ${sources})
  endforeach()
  set(${var} ${result} PARENT_SCOPE)
endfunction()

# hxm_target_sources(<var> <target>)
# Sets <var> to the absolute paths of the target's sources.
function(hxm_target_sources var target)
  get_target_property(sources ${target} SOURCES)
  get_target_property(dir ${target} SOURCE_DIR)
  set(result)
  foreach(source IN LISTS sources)
    get_filename_component(source ${source} ABSOLUTE BASE_DIR ${dir})
    list(APPEND result ${source})
  endforeach()
  set(${var} ${result} PARENT_SCOPE)
endfunction()
