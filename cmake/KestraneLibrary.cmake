# One folder, one library. A library's public headers live in include/kestrane/NAME/ and are
# included as "kestrane/NAME/header.h"; its sources and internal headers live in src/. Only
# the libraries a target links are on its include path, so a header of a library that a
# target may not use cannot be included from it: the build fails.
#
#   kestrane_library(NAME name SOURCES ... [USES library ...] [INTERNALS])
#
# makes the static library kestrane_NAME, linking the kestrane_ libraries it USES publicly.
# With INTERNALS it also makes kestrane_NAME_internals, an interface target that adds src/ to
# the include path, for the library's white-box tests and its benchmark only.
function(kestrane_library)
  cmake_parse_arguments(LIB "INTERNALS" "NAME" "SOURCES;USES" ${ARGN})
  set(target kestrane_${LIB_NAME})
  add_library(${target} STATIC ${LIB_SOURCES})
  target_include_directories(${target}
    PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
    PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  foreach(used IN LISTS LIB_USES)
    target_link_libraries(${target} PUBLIC kestrane_${used})
  endforeach()
  if(LIB_INTERNALS)
    add_library(${target}_internals INTERFACE)
    target_include_directories(${target}_internals INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/src)
    target_link_libraries(${target}_internals INTERFACE ${target})
  endif()
endfunction()

# The core's arithmetic flags, for the libraries that compute figures. Every rounding is
# deliberate: no contraction into fused multiply-add (which the AVX-512 path's instruction
# set would otherwise allow), and no value-changing math optimisations; without errno, sqrt
# vectorises. Whatever compiles the core's inline arithmetic (tests, benchmarks) needs the
# same flags, hence PUBLIC. The search's lane loops compute values they may not use and select
# between them, which the vectoriser does only if no floating-point operation may trap; none
# does (IEEE default handling), and -fno-trapping-math changes no value. Clang reports a loop
# marked for vector code that it cannot vectorise on a target (the page's WebAssembly, or
# under the sanitizers); the loop computes the same values either way.
function(kestrane_core_arithmetic target)
  target_compile_options(${target} PUBLIC -ffp-contract=off -fno-math-errno -fopenmp-simd)
  target_compile_options(${target} PRIVATE -fno-trapping-math)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE -Wno-pass-failed)
  endif()
endfunction()
