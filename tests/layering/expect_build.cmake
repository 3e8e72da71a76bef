# Builds TARGET in BUILD_DIR. EXPECT=fails: the build must fail, naming HEADER as not found;
# EXPECT=builds: it must succeed.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGET}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(EXPECT STREQUAL "builds")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TARGET} should build but failed:\n${output}")
  endif()
  return()
endif()
if(status EQUAL 0)
  message(FATAL_ERROR "${TARGET} built, but ${HEADER} should be out of its reach")
endif()
string(FIND "${output}" "${HEADER}" named)
string(REGEX MATCH "No such file|file not found" missing "${output}")
if(named EQUAL -1 OR NOT missing)
  message(FATAL_ERROR "${TARGET} failed, but not for want of ${HEADER}:\n${output}")
endif()
