#!/usr/bin/env bash
# Builds the 32-bit programs (the deliverable) into build/win32 and the 64-bit programs
# into build/win64, each with the tests, warnings as errors, then the packages.
set -euo pipefail
cd "$(dirname "$0")/.."
for arch in i686:win32 x86_64:win64; do
    cmake -S . -B "build/${arch#*:}" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-${arch%:*}.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DKELVARO_TESTS=ON >/dev/null
    cmake --build "build/${arch#*:}" -j "$(nproc)"
done
scripts/package.sh
