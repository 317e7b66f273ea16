#!/usr/bin/env bash
# Sets up, builds both architectures and runs every test of both under Wine, in a private
# prefix with a virtual display, then ends what it started. ctest arguments (-R NAME, say)
# go to both runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
. scripts/wine-env.sh

# The unit tests' copy of the pristine prefix that every scenario copies too.
prefix=$PWD/build/wineprefix
fresh_prefix "$prefix"

why=$(scripts/runs-32bit.sh) || echo "The 32-bit build's tests are reported as skipped: $why."
start_display
trap 'end_session; end_display' EXIT

# Tests share C:\NuvexKV of the one prefix, so they run one at a time: the 32-bit build's
# (the deliverable; skipped where the host cannot execute 32-bit code), then the 64-bit's.
# Each build's unit tests get a session of their own: the scenarios end the one before.
rc=0
for build in win32 win64; do
    echo "== build/$build"
    end_session
    start_session "$prefix"
    (cd "build/$build" && ctest --output-on-failure "$@") || rc=$?
done
exit "$rc"
