#!/usr/bin/env bash
# Builds the 32-bit programs (the deliverable) into build/win32 and the 64-bit programs
# into build/win64, each with the tests, warnings as errors, then the packages.
#
#   scripts/build.sh                  both architectures, everything
#   scripts/build.sh --road x86|x64   one architecture: only the programs, the setup DLL,
#                                     what the road scenario drives them with, and its package
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: scripts/build.sh [--road x86|x64]" >&2; exit 2; }

# configure ARCH: sets folder to the build folder of ARCH (i686 or x86_64), made ready.
configure() {
    folder=build/win64
    [ "$1" = x86_64 ] || folder=build/win32
    cmake -S . -B "$folder" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$1.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DKELVARO_TESTS=ON >/dev/null
}

if [ $# -gt 0 ]; then
    [ $# -eq 2 ] && [ "$1" = --road ] || usage
    road=(kelvaro KVButton kvnotify kvsetup read_prompt)
    case $2 in
        x86) configure i686; road+=(time64_faketime) ;;
        x64) configure x86_64 ;;
        *) usage ;;
    esac
    cmake --build "$folder" -j "$(nproc)" --target "${road[@]}"
    exec scripts/package.sh --only "$2"
fi

for arch in i686 x86_64; do
    configure "$arch"
    cmake --build "$folder" -j "$(nproc)"
done
scripts/package.sh
