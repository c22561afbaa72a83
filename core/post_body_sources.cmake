# Post body decoding and the file close loop, shared by the connections and
# open-file dispatchers. Included by pages/connections/sources.cmake (the
# plug-in's build takes area fragments only); this file's presence also lets
# core/post_body_exports.list into the version script.
list(APPEND HXM_AREA_SOURCES ${CMAKE_SOURCE_DIR}/core/post_body.cpp)
