# The help pages and their wrappers, compiled into the plug-in.
list(APPEND HXM_AREA_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/help_pages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/help_wrappers.cpp)
