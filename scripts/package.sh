#!/usr/bin/env bash
# Builds the Windows Installer packages from the built programs (run scripts/build.sh
# first): the 32-bit one, the deliverable, and the x64 one that Wine can run.
#
#   scripts/package.sh [WIN32_BUILD_FOLDER] [WIN64_BUILD_FOLDER]
#       (defaults build/win32 and build/win64; they get kelvaro-x86.msi and kelvaro-x64.msi)
set -euo pipefail
# Folders given are taken from where the script is called.
win32=$(realpath -m "${1:-$(dirname "$0")/../build/win32}")
win64=$(realpath -m "${2:-$(dirname "$0")/../build/win64}")
cd "$(dirname "$0")/.."

# package ARCH BUILD_FOLDER OUTPUT
package() {
    local arch=$1 build=$2 output=$3 program
    for program in service/kelvaro.exe launcher/KVButton.exe notifier/kvnotify.exe; do
        [ -f "$build/$program" ] || { echo "missing $build/$program (build first: scripts/build.sh)" >&2; exit 1; }
    done
    # wixl finds sources relative to the current folder only, never by absolute path.
    wixl -a "$arch" -D Arch="$arch" -D BuildDir="$(realpath --relative-to=. "$build")" \
         -D SourceDir=install -o "$output" install/kelvaro.wxs
    echo "$output"
}

package x86 "$win32" "$win32/kelvaro-x86.msi"
package x64 "$win64" "$win64/kelvaro-x64.msi"
