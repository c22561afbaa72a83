# The logger's sources, compiled into the plug-in by core/CMakeLists.txt.
set(HXM_LOGGER_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/logger.cpp
    ${CMAKE_CURRENT_LIST_DIR}/line_writers.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dummy_logger.cpp
    ${CMAKE_CURRENT_LIST_DIR}/directives.cpp
    ${CMAKE_CURRENT_LIST_DIR}/make_path.cpp
    ${CMAKE_CURRENT_LIST_DIR}/rotate_control.cpp
)
