# The exported form, format and path helpers and the ZENTRA_ROOT path
# mapping, compiled into the plug-in by core/CMakeLists.txt.
set(HXM_HELPER_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/format.cpp
    ${CMAKE_CURRENT_LIST_DIR}/paths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/root_paths.cpp
)
