# The monitoring layer's sources in the plug-in: the plug-in's own sorted and
# filtered copies of the monitoring library's lists. Shared by the areas that
# use them: add lines by appending only.
list(APPEND HXM_AREA_SOURCES ${CMAKE_CURRENT_LIST_DIR}/connections.cpp)
list(APPEND HXM_AREA_SOURCES ${CMAKE_CURRENT_LIST_DIR}/connection_details.cpp)
list(APPEND HXM_AREA_SOURCES ${CMAKE_CURRENT_LIST_DIR}/open_files.cpp)
list(APPEND HXM_AREA_SOURCES ${CMAKE_CURRENT_LIST_DIR}/volumes.cpp)
