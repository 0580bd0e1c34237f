#!/usr/bin/env bash
# Builds Pimbo95.scr and its tests for 64-bit Windows and runs the whole
# test suite under Wine on a private virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=${PIMBO_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DPIMBO_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
tools/with-wine.sh ctest --test-dir "$build" --output-on-failure "$@"
