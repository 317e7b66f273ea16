#!/usr/bin/env bash
# Builds the 32-bit programs (the deliverable) into build/win32 and the 64-bit programs
# with the tests into build/win64, warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j "$(nproc)"
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
      -DKELVARO_TESTS=ON >/dev/null
cmake --build build/win64 -j "$(nproc)"
scripts/package.sh
