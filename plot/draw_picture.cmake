# Draws a picture with a built program, quietly, failing when it fails:
#   cmake -DPROGRAM=path -DPICTURE=file.svg "-DARGS=151;124;112" -P draw_picture.cmake
execute_process(COMMAND ${PROGRAM} --plot=${PICTURE} ${ARGS}
                OUTPUT_QUIET RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --plot=${PICTURE} ${ARGS}: status ${status}: ${errors}")
endif()
