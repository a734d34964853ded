# Runs the runner and checks its exit code and that its output holds a text.
#   cmake -DRUNNER=FILE -DARGS=a|b|c -DCODE=N -DEXPECT=REGEX [-DFRESH=DIR] -P RunnerExits.cmake
# FRESH: a folder emptied first.
if(DEFINED FRESH)
  file(REMOVE_RECURSE "${FRESH}")
endif()
string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND ${RUNNER} ${args} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code STREQUAL CODE)
  message(FATAL_ERROR "the runner exited with ${code}, not ${CODE}:\n${out}${err}")
endif()
if(NOT "${out}${err}" MATCHES "${EXPECT}")
  message(FATAL_ERROR "the runner's output lacks \"${EXPECT}\":\n${out}${err}")
endif()
# What the runner told, for the test's log and its failure patterns.
message("${out}${err}")
