# Runs the render tool with arguments that must fail and checks how it fails:
# a non-zero exit, exactly one line on stderr, and no file (not even a
# temporary one) left in the test's output folder.
#   TOOL  the tool, WORK  an output folder made empty first,
#   ARGS  the arguments separated by '|', with @OUT@ standing for WORK.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
string(REPLACE "@OUT@" "${WORK}" arguments "${ARGS}")
string(REPLACE "|" ";" arguments "${arguments}")

execute_process(COMMAND "${TOOL}" ${arguments}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)

if(status EQUAL 0)
  message(FATAL_ERROR "expected a failure, the tool succeeded\nstdout: ${out}\nstderr: ${err}")
endif()
if(NOT status MATCHES "^[0-9]+$")
  message(FATAL_ERROR "the tool did not exit normally: ${status}\nstderr: ${err}")
endif()
string(REGEX REPLACE "\n$" "" message "${err}")
if(message STREQUAL "" OR message MATCHES "\n")
  message(FATAL_ERROR "expected exactly one line on stderr, got:\n${err}")
endif()
if(NOT message MATCHES "^hammerlyn2-render: ")
  message(FATAL_ERROR "the error does not name the tool: ${message}")
endif()
file(GLOB left LIST_DIRECTORIES true "${WORK}/*" "${WORK}/.*")
if(left)
  message(FATAL_ERROR "files left behind: ${left}")
endif()
message(STATUS "failed as expected: ${message}")
