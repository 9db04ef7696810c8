# Formats each manual page and fails on any warning.
#
#   cmake -DGROFF=... [-DMANDOC=...] -DPAGES="a.1;b.1" -P check_manual.cmake
#
# The pages hold Japanese text in UTF-8, so groff reads them through its
# preconverter (-k) for the UTF-8 terminal device.

set(failures)
foreach(page ${PAGES})
  execute_process(
    COMMAND ${GROFF} -k -Tutf8 -ww -man -z ${page}
    RESULT_VARIABLE status
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
  if(NOT status EQUAL 0 OR NOT output STREQUAL "")
    list(APPEND failures "groff on ${page} (${status}):\n${output}")
  endif()
  if(MANDOC)
    execute_process(
      COMMAND ${MANDOC} -T lint -W style ${page}
      RESULT_VARIABLE status
      OUTPUT_VARIABLE output
      ERROR_VARIABLE output)
    if(NOT status EQUAL 0 OR NOT output STREQUAL "")
      list(APPEND failures "mandoc on ${page} (${status}):\n${output}")
    endif()
  endif()
endforeach()

if(failures)
  list(JOIN failures "\n" report)
  message(FATAL_ERROR "${report}")
endif()
