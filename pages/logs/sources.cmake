# The log list page and its size texts, compiled into the plug-in (the
# dispatcher, dispatch.cpp, is listed by core/CMakeLists.txt).
list(APPEND HXM_AREA_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/dispatch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_list_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/size_text.cpp)
