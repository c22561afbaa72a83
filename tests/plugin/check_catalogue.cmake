# Checks the message catalogues against the code (cmake -P):
# - locale/libhxm2afp.pot lists exactly the texts xgettext finds now
#   (rewrite it with `ninja hxm2afp_pot` when this fails);
# - every locale/*.po translates each of those texts.
# Inputs: XGETTEXT, MSGCMP, XGETTEXT_ARGUMENTS, SOURCE_DIR, WORK_DIR.
set(fresh ${WORK_DIR}/fresh.pot)
set(template ${SOURCE_DIR}/locale/libhxm2afp.pot)
execute_process(COMMAND ${XGETTEXT} ${XGETTEXT_ARGUMENTS} -o ${fresh}
  WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "xgettext failed")
endif()

function(compare definitions reference what)
  execute_process(COMMAND ${MSGCMP} ${ARGN} ${definitions} ${reference}
    RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(SEND_ERROR "${what}:\n${errors}")
  endif()
endfunction()

compare(${template} ${fresh} "the template lacks texts of the code" --use-untranslated)
compare(${fresh} ${template} "the template holds texts the code no longer has" --use-untranslated)
file(GLOB translations ${SOURCE_DIR}/locale/*.po)
foreach(translation IN LISTS translations)
  compare(${translation} ${fresh} "${translation} does not translate every text")
endforeach()
