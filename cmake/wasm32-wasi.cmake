# Cross-compiling to WebAssembly (wasm32-wasi) with Debian's clang 19, lld 19, wasi-libc and the
# wasm32 builds of libc++ and compiler-rt:
#   apt-get install clang-19 lld-19 wasi-libc libc++-19-dev-wasm32 libc++abi-19-dev-wasm32 \
#                   libclang-rt-19-dev-wasm32
# Use: cmake -S . -B build-web --toolchain cmake/wasm32-wasi.cmake
set(CMAKE_SYSTEM_NAME WASI)
set(CMAKE_SYSTEM_VERSION 1)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
# Platform/WASI.cmake beside this file tells CMake what the platform's files are called.
list(APPEND CMAKE_MODULE_PATH "${CMAKE_CURRENT_LIST_DIR}")

set(KESTRANE_WASM_TRIPLE wasm32-wasi)
find_program(CMAKE_C_COMPILER NAMES clang-19 REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES clang++-19 REQUIRED)
set(CMAKE_C_COMPILER_TARGET ${KESTRANE_WASM_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${KESTRANE_WASM_TRIPLE})
find_program(CMAKE_AR NAMES llvm-ar-19 REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib-19 REQUIRED)

# 128-bit vectors for the search's lanes; no exceptions, no runtime imports.
set(CMAKE_C_FLAGS_INIT "-msimd128")
set(CMAKE_CXX_FLAGS_INIT "-msimd128 -fno-exceptions")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld")

# The compiler checks link nothing: a module has no entry point.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Programs the build runs (node, npm) are the host's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
