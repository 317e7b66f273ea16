#!/usr/bin/env bash
# Sets up, builds both architectures and runs every test of both under Wine, then says how
# long the tests took. ctest arguments (-R NAME, say) go to both runs. KV_TEST_JOBS (by
# default one more than the cores) sets how many tests run at once.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh" # first: it may run this again, as it was called
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
# The pristine prefix that every test's prefix is a copy of, made before the clock starts.
make_prefix "$KV_TEMPLATE"
why=$(scripts/runs-32bit.sh) || echo "The 32-bit build's tests are reported as skipped: $why."

# Each build's tests carry what they need (scripts/ctest-wine.sh): the unit tests share
# C:\NuvexKV of the build's prefix and run one at a time, in a session and on a display
# that a ctest fixture starts and ends; the scenarios, each in a prefix and on a display of
# its own, run beside them. The 32-bit build's tests (the deliverable; skipped where the
# host cannot execute 32-bit code) come first, then the 64-bit's.
jobs=${KV_TEST_JOBS:-$(($(nproc) + 1))}
rc=0
started=$(date +%s)
for build in win32 win64; do
    echo "== build/$build"
    (cd "build/$build" && ctest --output-on-failure -j "$jobs" "$@") || rc=$?
done
echo "== test time, both builds: $(($(date +%s) - started)) s"
exit "$rc"
