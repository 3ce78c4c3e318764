# Runs the text generator on a broken source; passes when it fails, names each fault, and writes
# nothing.
file(REMOVE_RECURSE ${OUTPUT})
file(MAKE_DIRECTORY ${OUTPUT})
execute_process(COMMAND ${TOOL} ${SOURCE} ${OUTPUT} RESULT_VARIABLE result ERROR_VARIABLE errors)
message(STATUS "generator said:\n${errors}")
if(result EQUAL 0)
  message(FATAL_ERROR "the generator accepted a broken source")
endif()
foreach(expected
    "broken_ui_texts.tsv: language 0x0407 has no text for string 1025"
    "broken_ui_texts.tsv:5: the placeholders differ"
    "broken_ui_texts.tsv:6: stray escape"
    "nothing was generated")
  string(FIND "${errors}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the generator did not report \"${expected}\"")
  endif()
endforeach()
file(GLOB written ${OUTPUT}/*)
if(written)
  message(FATAL_ERROR "the generator wrote ${written} from a broken source")
endif()
