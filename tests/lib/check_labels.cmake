# Fails when ctest knows a test that carries none of the layer labels, naming
# it. Run from the build directory: cmake -DCTEST=ctest -DLABEL_REGEX=... -P this
execute_process(COMMAND ${CTEST} -N -LE "${LABEL_REGEX}"
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "ctest -N failed (${status}):\n${listing}")
endif()
if(NOT listing MATCHES "Total Tests: ([0-9]+)")
  message(FATAL_ERROR "cannot read the test count from:\n${listing}")
endif()
if(NOT CMAKE_MATCH_1 EQUAL 0)
  message(FATAL_ERROR "tests without a label matching ${LABEL_REGEX}:\n${listing}")
endif()
