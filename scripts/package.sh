#!/usr/bin/env bash
# Builds the Windows Installer packages from the built programs (run scripts/build.sh
# first): the 32-bit one, the deliverable, and the x64 one that Wine can run.
#
#   scripts/package.sh [WIN32_BUILD_FOLDER] [WIN64_BUILD_FOLDER]
#       (defaults build/win32 and build/win64; they get kelvaro-x86.msi and kelvaro-x64.msi,
#       of the project's version, project(... VERSION) in CMakeLists.txt)
#   scripts/package.sh --only x86|x64
#       that one of the two, from its default folder
#   scripts/package.sh --one ARCH BUILD_FOLDER OUTPUT VERSION
#       one package of the given version (the upgrade scenario's later build)
#
# Signed when a code-signing certificate is given, as build services hand secrets over:
#   KV_SIGN_PKCS12     a PKCS#12 file holding the certificate, its key and its chain
#   KV_SIGN_PASSWORD   that file's password
#   KV_SIGN_TIMESTAMP  a timestamp server (RFC 3161), optional
# The three programs and the setup DLL are signed (SHA-256, osslsigncode) into a folder
# beside the package, OUTPUT without ".msi" and with "-signed", and packaged from there;
# then the package itself is signed. Without a certificate nothing is signed, and the
# build says so.
set -euo pipefail
top=$(realpath "$(dirname "$0")/..")
PROGRAMS=(service/kelvaro.exe launcher/KVButton.exe notifier/kvnotify.exe setup/kvsetup.dll)

# sign IN OUT: OUT is IN with an Authenticode signature. The password goes through a file
# descriptor, never on a command line.
sign() {
    local args=(sign -h sha256 -n "Nuvex Kelvaro" -pkcs12 "$KV_SIGN_PKCS12")
    [ -z "${KV_SIGN_TIMESTAMP:-}" ] || args+=(-ts "$KV_SIGN_TIMESTAMP")
    osslsigncode "${args[@]}" -readpass <(printf '%s' "$KV_SIGN_PASSWORD") -in "$1" -out "$2" >/dev/null
}

# signed_programs BUILD_FOLDER STAGE: the programs of the build, signed, in STAGE.
signed_programs() {
    local program
    rm -rf "$2"
    for program in "${PROGRAMS[@]}"; do
        mkdir -p "$2/${program%/*}"
        sign "$1/$program" "$2/$program"
    done
}

# package ARCH BUILD_FOLDER OUTPUT VERSION (folders absolute)
package() {
    local arch=$1 build=$2 output=$3 version=$4 program query
    for program in "${PROGRAMS[@]}"; do
        [ -f "$build/$program" ] || { echo "missing $build/$program (build first: scripts/build.sh)" >&2; exit 1; }
    done
    if [ -n "${KV_SIGN_PKCS12:-}" ]; then
        signed_programs "$build" "${output%.msi}-signed"
        build=${output%.msi}-signed
    else
        echo "${output##*/}: not signed (no KV_SIGN_PKCS12 given)" >&2
    fi
    # wixl finds sources relative to the current folder only, never by absolute path.
    (cd "$top" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" \
         -D BuildDir="$(realpath --relative-to=. "$build")" -D SourceDir=install \
         -o "$output" install/kelvaro.wxs)
    # The rows wixl cannot write: the queries of table-fixes.sql, without its comments.
    grep -v -e '^--' -e '^$' "$top/install/table-fixes.sql" | sed "s/\$(var.Version)/$version/g" |
    while IFS= read -r query; do
        msibuild "$output" -q "$query"
    done
    if [ -n "${KV_SIGN_PKCS12:-}" ]; then
        sign "$output" "$output.signed"
        mv "$output.signed" "$output"
    fi
    echo "$output"
}

if [ "${1:-}" = --one ]; then
    package "$2" "$(realpath -m "$3")" "$(realpath -m "$4")" "$5"
    exit 0
fi
only=
if [ "${1:-}" = --only ]; then
    only=$2
    shift 2
fi
version=$(sed -n 's/^project(.* VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
[ -n "$version" ] || { echo "no VERSION in project() of CMakeLists.txt" >&2; exit 1; }
win32=$(realpath -m "${1:-$top/build/win32}")
win64=$(realpath -m "${2:-$top/build/win64}")
[ "$only" = x64 ] || package x86 "$win32" "$win32/kelvaro-x86.msi" "$version"
[ "$only" = x86 ] || package x64 "$win64" "$win64/kelvaro-x64.msi" "$version"
