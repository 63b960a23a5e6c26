# Runs one asset generator and fails unless its output equals the committed file.
#   cmake -DGENERATOR=program -DOUTPUT=file -DEXPECTED=file -P regenerate.cmake
execute_process(COMMAND ${GENERATOR} ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${GENERATOR} failed: ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${EXPECTED} RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${OUTPUT} differs from the committed ${EXPECTED}")
endif()
