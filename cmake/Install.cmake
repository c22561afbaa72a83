# `cmake --install`: the server's own layout under the prefix (default "/",
# so DESTDIR or --prefix DIR gives a tree that also works as ZENTRA_ROOT).
# The programs keep every run-time path they have today; the installed
# objects find one another through $ORIGIN, so the tree may sit anywhere.
#
# Components: "plugin" (the plug-in, its configuration and catalogues) and
# "standins" (console, libhxm.so, libafpstat.so.1, afpstat, console images),
# one per Debian package.

set(HXM_INSTALL_LIB opt/zentra/lib)
set(HXM_INSTALL_BIN opt/zentra/bin)

if(TARGET hxm2afp)
  set_target_properties(hxm2afp PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS hxm2afp LIBRARY DESTINATION ${HXM_INSTALL_LIB} COMPONENT plugin)
  install(FILES ${CMAKE_SOURCE_DIR}/plugin/libhxm2afp.conf
    DESTINATION ${HXM_INSTALL_LIB} COMPONENT plugin)
  install(DIRECTORY ${HXM_LOCALE_BUILD_DIR}/
    DESTINATION opt/zentra/afpsvcd/locale COMPONENT plugin
    FILES_MATCHING PATTERN "*.mo")
  install(DIRECTORY DESTINATION var/opt/zentra/log COMPONENT plugin)
endif()

# The command, beside the plug-in in its package, with its manual page.
if(TARGET hxm2afp_command)
  set_target_properties(hxm2afp_command PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
  install(TARGETS hxm2afp_command RUNTIME DESTINATION ${HXM_INSTALL_BIN} COMPONENT plugin)
  install(FILES ${CMAKE_SOURCE_DIR}/cli/hxm2afp.1
    DESTINATION usr/share/man/man1 COMPONENT plugin)
endif()

if(TARGET hxm-console AND TARGET afpstat)
  set_target_properties(hxm PROPERTIES INSTALL_RPATH "$ORIGIN")
  set_target_properties(afpstat_lib PROPERTIES INSTALL_RPATH "$ORIGIN")
  set_target_properties(hxm-console afpstat PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
  install(TARGETS hxm-console afpstat RUNTIME DESTINATION ${HXM_INSTALL_BIN} COMPONENT standins)
  # libafpstat.so.1 and its file; no development link, nothing links against it here.
  install(TARGETS hxm afpstat_lib
    LIBRARY DESTINATION ${HXM_INSTALL_LIB} COMPONENT standins NAMELINK_SKIP)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/platform/console/images/
    DESTINATION opt/zentra/hxm COMPONENT standins)
  install(DIRECTORY ${HXM_CONSOLE_LOCALE_BUILD_DIR}/
    DESTINATION opt/zentra/hxm/locale COMPONENT standins
    FILES_MATCHING PATTERN "*.mo")
  install(DIRECTORY DESTINATION var/opt/zentra/log COMPONENT standins)
  install(DIRECTORY DESTINATION var/opt/zentra/afpstat COMPONENT standins)
endif()
