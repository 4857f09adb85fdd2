# Runs the Windows program under Wine on a console, as a person meets it: a
# terminal that tmux provides, read off its screen, a key pressed to end the
# pause.
#
#   cmake -DWINE=<wine64> -DPROGRAM=<integral.exe> -DWORK=<dir> -DTMUX=<tmux> -P console.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/wine_environment.cmake)

# A tmux server of this test's own. The shell in the pane leaves the program's
# exit status in a file: tmux may show a pane as dead before it has the status.
set(socket "${WORK}/console.tmux")
set(status_file "${WORK}/console.status")
file(WRITE "${WORK}/console.tmux.conf" "set-option -g remain-on-exit on\n")
macro(tmux)
  execute_process(COMMAND "${TMUX}" -S "${socket}" -f "${WORK}/console.tmux.conf" ${ARGN} OUTPUT_VARIABLE tmux_output
                  ERROR_VARIABLE tmux_error RESULT_VARIABLE tmux_status)
endmacro()

# Polls until `condition` holds, for at most `seconds`; sets `reached`. The
# condition is "prompt" (the pause prompt on the screen, given up on once the
# program has ended) or "ended" (the program has exited).
function(wait_for condition seconds)
  string(TIMESTAMP start "%s")
  set(reached FALSE PARENT_SCOPE)
  while(TRUE)
    if(condition STREQUAL "prompt")
      if(EXISTS "${status_file}")
        return()
      endif()
      tmux(capture-pane -p -t run)
      string(FIND "${tmux_output}" "${prompt}" at)
    elseif(EXISTS "${status_file}")
      set(at 0)
    else()
      set(at -1)
    endif()
    if(at GREATER_EQUAL 0)
      set(reached TRUE PARENT_SCOPE)
      return()
    endif()
    string(TIMESTAMP now "%s")
    math(EXPR elapsed "${now} - ${start}")
    if(elapsed GREATER seconds)
      return()
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 0.1)
  endwhile()
endfunction()

file(READ "${WORK}/pause-prompt" prompt)
string(STRIP "${prompt}" prompt)

tmux(kill-server) # one left behind by a run that was cut off
file(REMOVE "${status_file}")
tmux(new-session -d -s run -x 100 -y 10 sh -c "\"$0\" \"$1\"\necho $? >\"$2\"" "${WINE}" "${PROGRAM}"
     "${status_file}")
if(NOT tmux_status EQUAL 0)
  message(FATAL_ERROR "tmux could not start the program: ${tmux_status} ${tmux_error}")
endif()

# The pause is waiting once its prompt is on the screen.
wait_for(prompt 60)
execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 1)
if(NOT reached OR EXISTS "${status_file}")
  tmux(capture-pane -p -t run)
  message(SEND_ERROR "The pause did not wait for a key; screen:\n${tmux_output}")
endif()

# The notice first, the result before the pause, the Cyrillic legible.
tmux(capture-pane -p -t run)
string(REGEX REPLACE "\n+$" "" screen "${tmux_output}")
expect_equal("screen" "${screen}" "Режим эмуляции\nЗначение интеграла 3,1415927\n${prompt}")

tmux(send-keys -t run x)
wait_for(ended 30)
set(status "")
if(reached)
  file(READ "${status_file}" status)
endif()
tmux(capture-pane -p -t run)
expect_equal("exit status after the key press (screen:\n${tmux_output})" "${status}" "0\n")

tmux(kill-server)
