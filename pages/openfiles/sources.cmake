# The open-file area's sources in the plug-in.
list(APPEND HXM_AREA_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dispatch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_info_page.cpp
    ${CMAKE_CURRENT_LIST_DIR}/list_page.cpp
    ${CMAKE_CURRENT_LIST_DIR}/page_frame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/script.cpp
)
