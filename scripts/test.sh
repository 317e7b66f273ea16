#!/usr/bin/env bash
# Sets up, builds both architectures and runs every test of both under Wine, then ends what
# it started, and says how long the tests took. ctest arguments (-R NAME, say) go to both
# runs. KV_TEST_JOBS (by default one more than the cores) sets how many tests run at once.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh" # first: it may run this again, as it was called
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
# A folder a test makes is one only its owner may change, as on Windows.
umask 022

# The unit tests' copy of the pristine prefix that every scenario copies too.
prefix=$PWD/build/wineprefix
fresh_prefix "$prefix"
unmanaged_windows "$prefix"

why=$(scripts/runs-32bit.sh) || echo "The 32-bit build's tests are reported as skipped: $why."
# The unit tests' display; each scenario starts one of its own.
start_display
trap 'end_session; end_display' EXIT

# The unit tests share C:\NuvexKV of the one prefix and run one at a time; the scenarios,
# each in a prefix and on a display of its own, run beside them. The 32-bit build's tests
# (the deliverable; skipped where the host cannot execute 32-bit code) come first, then
# the 64-bit's. Each build's unit tests get a session of their own.
jobs=${KV_TEST_JOBS:-$(($(nproc) + 1))}
rc=0
started=$(date +%s)
for build in win32 win64; do
    echo "== build/$build"
    end_session
    start_session "$prefix"
    (cd "build/$build" && ctest --output-on-failure -j "$jobs" "$@") || rc=$?
done
echo "== test time, both builds: $(($(date +%s) - started)) s"
exit "$rc"
