# Installs the project into a fresh prefix and runs the installed programs.
#
#   cmake -DBUILD_DIR=... -DCASES_DIR=... -DWORK_DIR=... -P install_test.cmake
#
# Each folder CASES_DIR/<program> holds `stdin`, the expected `stdout` and
# in `after/` the files the run must leave in its working folder. The
# programs run in the C.UTF-8 locale and must end with status 0 and write
# nothing to standard error.

foreach(variable BUILD_DIR CASES_DIR WORK_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

execute_process(
  COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${output}")
endif()

set(failures)
foreach(installed
    bin/orvane bin/kestrin share/man/man1/orvane.1.gz share/man/man1/kestrin.1.gz)
  if(NOT EXISTS ${prefix}/${installed})
    list(APPEND failures "not installed: ${installed}")
  endif()
endforeach()

set(ENV{LC_ALL} C.UTF-8)
foreach(program orvane kestrin)
  set(case ${CASES_DIR}/${program})
  set(run ${WORK_DIR}/run-${program})
  file(MAKE_DIRECTORY ${run})
  execute_process(
    COMMAND ${prefix}/bin/${program}
    WORKING_DIRECTORY ${run}
    INPUT_FILE ${case}/stdin
    OUTPUT_FILE ${WORK_DIR}/${program}.stdout
    ERROR_VARIABLE errors
    RESULT_VARIABLE status)
  if(NOT status STREQUAL "0")
    list(APPEND failures "${program}: exit status ${status}")
  endif()
  if(NOT errors STREQUAL "")
    list(APPEND failures "${program}: standard error holds:\n${errors}")
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E compare_files ${case}/stdout ${WORK_DIR}/${program}.stdout
    RESULT_VARIABLE different)
  if(different)
    list(APPEND failures
         "${program}: standard output differs: ${case}/stdout ${WORK_DIR}/${program}.stdout")
  endif()

  file(GLOB expected_files RELATIVE ${case}/after ${case}/after/*)
  file(GLOB actual_files RELATIVE ${run} ${run}/*)
  list(SORT expected_files)
  list(SORT actual_files)
  if(NOT expected_files STREQUAL actual_files)
    list(APPEND failures
         "${program}: left [${actual_files}] in its folder, expected [${expected_files}]")
  endif()
  foreach(name ${expected_files})
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E compare_files ${case}/after/${name} ${run}/${name}
      RESULT_VARIABLE different)
    if(different)
      list(APPEND failures "${program}: ${name} differs: ${case}/after/${name} ${run}/${name}")
    endif()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n" report)
  message(FATAL_ERROR "${report}")
endif()
