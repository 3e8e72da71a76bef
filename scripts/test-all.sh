#!/usr/bin/env bash
# Builds and runs every test: the native build with its tests, then the web build (the page
# and its WebAssembly module) with its tests, which compare the module with the native build's
# core and drive the page in headless Chromium.
#
#   scripts/test-all.sh [NATIVE_DIR [WEB_DIR]]   (default build and build-web)
#
# Extra configure options for both builds come from KESTRANE_CMAKE_OPTIONS (CI passes
# -DKESTRANE_WERROR=ON there, into build folders of its own).
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build}
web=${2:-build-web}
read -r -a options <<<"${KESTRANE_CMAKE_OPTIONS:-}"

cmake -S . -B "$native" "${options[@]}"
cmake --build "$native" -j2
ctest --test-dir "$native" --output-on-failure --no-tests=error -j2

cmake -S . -B "$web" --toolchain cmake/wasm32-wasi.cmake "${options[@]}" \
  -DKESTRANE_NATIVE_DUMP="$PWD/$native/tests/kestrane_design_dump" \
  -DKESTRANE_NATIVE_PROGRAM="$PWD/$native/kestrane"
cmake --build "$web" -j2
ctest --test-dir "$web" --output-on-failure --no-tests=error
