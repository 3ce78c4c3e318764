# Fails unless DOCUMENT holds the whole of EXAMPLE as one C++ code block.
file(READ ${DOCUMENT} document)
file(READ ${EXAMPLE} example)
string(FIND "${document}" "```cpp\n${example}```" found)
if(found EQUAL -1)
  message(FATAL_ERROR "${DOCUMENT} does not quote ${EXAMPLE} as it is")
endif()
