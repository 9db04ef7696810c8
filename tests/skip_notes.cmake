# Prints why tests were skipped in the last ctest run: the notes that
# skipped tests leave in NOTES (see tests/skip.sh).
#
#   cmake -DNOTES=DIR -P skip_notes.cmake

file(GLOB notes ${NOTES}/*)
if(notes)
  list(SORT notes)
  set(text "\nSkipped, and why:\n")
  foreach(note ${notes})
    file(READ ${note} line)
    string(APPEND text "  ${line}")
  endforeach()
  # To standard output: ctest passes on only that of this command.
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${text}")
endif()
