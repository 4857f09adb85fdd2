# Runs the Windows program under Wine as a person would from a shell: standard
# input at end (/dev/null), the output streams redirected to files or pipes.
# Checks the exit status and every byte the streams receive.
#
#   cmake -DWINE=<wine64> -DPROGRAM=<integral.exe> -DWORK=<dir> -DCASE=<case> -P run_program.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/wine_environment.cmake)

function(read_hex path variable)
  file(READ "${path}" hex HEX)
  set(${variable} "${hex}" PARENT_SCOPE)
endfunction()

# Runs `wine64 ARGN` with stdin from /dev/null and the given redirections.
macro(run)
  execute_process(COMMAND "${WINE}" ${ARGN} INPUT_FILE /dev/null RESULT_VARIABLE status TIMEOUT 60 ${redirections})
endmacro()

if(CASE STREQUAL "prefix")
  file(MAKE_DIRECTORY "${WORK}")
  set(redirections OUTPUT_FILE "${WORK}/wineboot.log" ERROR_FILE "${WORK}/wineboot.log")
  run(wineboot --init)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "wineboot --init: ${status}, see ${WORK}/wineboot.log")
  endif()
  set(redirections OUTPUT_FILE "${WORK}/pause-prompt")
  run(cmd /c pause)
  read_hex("${WORK}/pause-prompt" prompt)
  if(NOT status EQUAL 0 OR prompt STREQUAL "")
    message(FATAL_ERROR "cmd /c pause: status ${status}, prompt \"${prompt}\"")
  endif()
  return()
endif()

read_hex("${WORK}/pause-prompt" prompt)
set(out "${WORK}/${CASE}.out")
set(err "${WORK}/${CASE}.err")
file(REMOVE "${out}" "${err}")

if(CASE STREQUAL "separate_files")
  # Redirected streams are written at exit, so the pause prompt comes first.
  set(redirections OUTPUT_FILE "${out}" ERROR_FILE "${err}")
  run("${PROGRAM}")
  expect_equal("exit status" "${status}" 0)
  read_hex("${out}" out_bytes)
  read_hex("${err}" err_bytes)
  expect_equal("standard output" "${out_bytes}" "${prompt}${result}")
  expect_equal("standard error" "${err_bytes}" "${notice}")
elseif(CASE STREQUAL "one_file")
  # At exit standard output is flushed before standard error.
  set(redirections OUTPUT_FILE "${out}" ERROR_FILE "${out}")
  run("${PROGRAM}")
  expect_equal("exit status" "${status}" 0)
  read_hex("${out}" out_bytes)
  expect_equal("both streams" "${out_bytes}" "${prompt}${result}${notice}")
elseif(CASE STREQUAL "pipe")
  # Standard output through a pipe into cat, which writes the file.
  execute_process(COMMAND "${WINE}" "${PROGRAM}" COMMAND cat INPUT_FILE /dev/null OUTPUT_FILE "${out}" ERROR_FILE "${err}"
                  RESULTS_VARIABLE statuses TIMEOUT 60)
  expect_equal("exit statuses" "${statuses}" "0;0")
  read_hex("${out}" out_bytes)
  read_hex("${err}" err_bytes)
  expect_equal("standard output" "${out_bytes}" "${prompt}${result}")
  expect_equal("standard error" "${err_bytes}" "${notice}")
elseif(CASE STREQUAL "injected_failure")
  # The copy back fails: the step and the reason, no result, status 1.
  set(ENV{CUDART_EMU_FAIL} "cudaMemcpy#2=4")
  set(redirections OUTPUT_FILE "${out}" ERROR_FILE "${err}")
  run("${PROGRAM}")
  expect_equal("exit status" "${status}" 1)
  read_hex("${out}" out_bytes)
  read_hex("${err}" err_bytes)
  # "Ошибка: копирование с устройства (cudaMemcpy): unspecified launch failure"
  string(HEX " (cudaMemcpy): unspecified launch failure" reason)
  set(failure "cef8e8e1eae03a20eaeeefe8f0eee2e0ede8e520f120f3f1f2f0eee9f1f2e2e0${reason}0d0a")
  expect_equal("standard output" "${out_bytes}" "${prompt}")
  expect_equal("standard error" "${err_bytes}" "${notice}${failure}")
else()
  message(FATAL_ERROR "unknown case ${CASE}")
endif()
