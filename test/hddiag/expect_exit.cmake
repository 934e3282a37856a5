# Runs COMMAND (a list) and fails unless it exits with EXPECTED and, when
# given, its standard error matches STDERR_MATCH.
execute_process(COMMAND ${COMMAND} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT "${rc}" STREQUAL "${EXPECTED}")
  message(FATAL_ERROR "exit status ${rc}, expected ${EXPECTED}\n--- stdout\n${out}\n--- stderr\n${err}")
endif()
if(DEFINED STDERR_MATCH AND NOT err MATCHES "${STDERR_MATCH}")
  message(FATAL_ERROR "standard error does not match '${STDERR_MATCH}':\n${err}")
endif()
