# Message catalogues: each translation LANG.po, checked and compiled by
# msgfmt into <output>/LANG/LC_MESSAGES/<domain>.mo.

find_program(HXM_MSGFMT msgfmt REQUIRED)

# hxm_catalogues(<target> DOMAIN <domain> OUTPUT <folder> TRANSLATIONS <po>...)
# Adds <target>_catalogues, built with <target>, which makes the catalogues.
function(hxm_catalogues target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DOMAIN;OUTPUT" "TRANSLATIONS")
  if(NOT arg_DOMAIN OR NOT arg_OUTPUT OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hxm_catalogues(${target}): DOMAIN and OUTPUT required; "
                        "unexpected: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  set(catalogues)
  foreach(po IN LISTS arg_TRANSLATIONS)
    get_filename_component(language ${po} NAME_WE)
    set(folder ${arg_OUTPUT}/${language}/LC_MESSAGES)
    add_custom_command(OUTPUT ${folder}/${arg_DOMAIN}.mo
      COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
      COMMAND ${HXM_MSGFMT} --check -o ${folder}/${arg_DOMAIN}.mo ${po}
      DEPENDS ${po}
      COMMENT "Compiling the ${language} catalogue of ${arg_DOMAIN}"
      VERBATIM)
    list(APPEND catalogues ${folder}/${arg_DOMAIN}.mo)
  endforeach()
  add_custom_target(${target}_catalogues ALL DEPENDS ${catalogues})
  add_dependencies(${target} ${target}_catalogues)
endfunction()
