#!/usr/bin/env bash
# Builds and runs every test: the native build (build/) with its tests, then the web build
# (build-web/: the page and its WebAssembly module) with its tests, which compare the module
# with the native build's core and drive the page in headless Chromium.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build
cmake --build build -j2
ctest --test-dir build --output-on-failure --no-tests=error

cmake -S . -B build-web --toolchain cmake/wasm32-wasi.cmake \
  -DKESTRANE_NATIVE_DUMP="$PWD/build/tests/kestrane_design_dump"
cmake --build build-web -j2
ctest --test-dir build-web --output-on-failure --no-tests=error
