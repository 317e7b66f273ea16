#!/usr/bin/env bash
# Sets up, builds both architectures and runs every test under Wine, in a private prefix
# with a virtual display, then ends what it started.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
scripts/setup.sh
scripts/build.sh
. scripts/wine-env.sh

# A pristine prefix that every scenario copies, and the unit tests' own copy of it.
template=$top/build/win64/wine-template
make_prefix "$template"
prefix=$top/build/win64/wineprefix
rm -rf "$prefix"
cp -a "$template" "$prefix"

start_display
trap 'end_session; end_display' EXIT
start_session "$prefix"

cd build/win64
# Tests share C:\NuvexKV of the one prefix, so they run one at a time.
ctest --output-on-failure "$@"
