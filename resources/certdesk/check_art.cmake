# Draws certdesk's artwork into OUT with ART and compares every file with its committed copy in
# COMMITTED.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${ART} ${OUT} RESULT_VARIABLE drawn)
if(NOT drawn EQUAL 0)
  message(FATAL_ERROR "certdesk_art failed: ${drawn}")
endif()
file(GLOB made RELATIVE ${OUT} ${OUT}/*)
list(LENGTH made count)
if(count EQUAL 0)
  message(FATAL_ERROR "certdesk_art wrote nothing")
endif()
foreach(name IN LISTS made)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${name} ${COMMITTED}/${name}
    RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${name} differs from the committed file: run certdesk_art "
      "${COMMITTED} and commit the result")
  endif()
endforeach()
message(STATUS "${count} files as committed")
