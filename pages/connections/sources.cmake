# The connections area's sources in the plug-in (with the shared post body
# decoder, which lives in core/).
include(${CMAKE_SOURCE_DIR}/core/post_body_sources.cmake)
list(APPEND HXM_AREA_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dispatch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/list_page.cpp
    ${CMAKE_CURRENT_LIST_DIR}/script.cpp
    ${CMAKE_CURRENT_LIST_DIR}/detail_page.cpp
)
