#!/usr/bin/env bash
# Installs the Debian packages that building and testing Kestrane needs and that are missing:
# the native build, its tests and benchmarks, the fuzz targets, the WebAssembly toolchain of
# the page, the browser its test drives, the circuit simulator of the op-amp model's test,
# and scipy and mpmath for the cascade library's reference test. Runs apt-get, so it needs
# root; does nothing when everything is there.
set -euo pipefail

packages=(
  g++ cmake libgtest-dev libbenchmark-dev          # the console program, tests, benchmarks
  clang libclang-rt-14-dev                         # the fuzz targets
  clang-19 lld-19 wasi-libc libc++-19-dev-wasm32   # the page's WebAssembly module
  libc++abi-19-dev-wasm32 libclang-rt-19-dev-wasm32
  chromium chromium-driver python3-selenium        # the page's browser test
  ngspice                                          # the simulator the op-amp model is checked with
  python3-scipy python3-mpmath python3-gmpy2       # the cascade reference values (gmpy2 speeds mpmath)
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [[ "$status" == installed ]] || missing+=("$package")
done
# Node.js with npm builds the page; any install of it will do, Debian's included.
command -v node >/dev/null && command -v npm >/dev/null || missing+=(nodejs npm)

if ((${#missing[@]} > 0)); then
  echo "installing: ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi
