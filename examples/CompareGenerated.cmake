# Runs the example generator and fails unless its output equals the shipped data set.
execute_process(COMMAND ${GENERATOR} 500 OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "generator failed with status ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${EXPECTED}
                RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "generated data set differs from ${EXPECTED}")
endif()
