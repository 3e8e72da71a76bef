# Fails when a source of the libraries, the module, the tests, the benchmark or the fuzz
# targets includes a file by a path with "..", or by an absolute path: such an include would
# reach around the include paths that keep the layers apart.
file(GLOB_RECURSE sources
  ${SOURCE_DIR}/core/*.h ${SOURCE_DIR}/core/*.cpp ${SOURCE_DIR}/text/*.h ${SOURCE_DIR}/text/*.cpp
  ${SOURCE_DIR}/session/*.h ${SOURCE_DIR}/session/*.cpp ${SOURCE_DIR}/console/*.h
  ${SOURCE_DIR}/console/*.cpp ${SOURCE_DIR}/web/*.cpp ${SOURCE_DIR}/tests/*.h
  ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/bench/*.cpp ${SOURCE_DIR}/fuzz/*.cpp)
set(offenders "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](/|[^\">]*\\.\\./)")
  if(includes)
    list(APPEND offenders "${source}: ${includes}")
  endif()
endforeach()
if(offenders)
  string(REPLACE ";" "\n" offenders "${offenders}")
  message(FATAL_ERROR "includes by path:\n${offenders}")
endif()
