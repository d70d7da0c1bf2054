# The application with no audio device (Windows, under Wine without a sound
# driver): one line naming the fault, status 1, well within the time limit.
execute_process(COMMAND ${RUN} ${APP} --no-window
                RESULT_VARIABLE status ERROR_VARIABLE errors OUTPUT_QUIET TIMEOUT 60)
if(NOT status STREQUAL "1")
  message(FATAL_ERROR "status ${status}, expected 1; standard error:\n${errors}")
endif()
# Wine's own audio drivers may add lines of theirs: ours is exactly this one.
string(FIND "${errors}" "\nhammerlyn2: no audio device (no sound card answers)\n" found)
if(found LESS 0 AND NOT errors MATCHES "^hammerlyn2: no audio device \\(no sound card answers\\)\n")
  message(FATAL_ERROR "the one-line error is missing; standard error:\n${errors}")
endif()
