#!/usr/bin/env bash
# Sets up, builds the programs and their packages, and walks the road of one request on a
# virtual workstation (a private Wine prefix): the package installed silently, the
# launcher's prompt answered No with "2hr" configured, the forced restart, the service's
# delay on a fast clock and the forced power-off handed to Windows. With --cancel, the notifier started
# during the delay cancels the power-off instead. The prompt shows on your display when
# there is one, else on a virtual one; screenshots stay in build/win32/road (or
# build/win64/road).
#
# It walks the road with the 32-bit package, the deliverable, where the host can execute
# 32-bit code, and with the x64 one where it cannot.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh" # first: it may run this again, as it was called
cd "$(dirname "$0")/.."
road=power_off_road
[ "${1:-}" = "--cancel" ] && road=cancel_road

scripts/setup.sh
if why=$(scripts/runs-32bit.sh); then
    export KV_BUILD=$PWD/build/win32 KV_ARCH=x86
    echo "Walking the road with the 32-bit programs (kelvaro-x86.msi)."
else
    export KV_BUILD=$PWD/build/win64 KV_ARCH=x64
    echo "Walking the road with the x64 programs (kelvaro-x64.msi): $why."
fi
# Only what the road needs is built, and the template prefix made meanwhile.
echo "building the $KV_ARCH programs and their package..."
make_prefix "$KV_TEMPLATE" &
prefix_made=$!
scripts/build.sh --road "$KV_ARCH" >/dev/null
wait "$prefix_made"
rc=0
tests/e2e/road.sh "$road" || rc=$?
if [ "$rc" -ne 0 ]; then
    echo "The walk stopped: a step above says which check failed."
elif [ "$road" = power_off_road ]; then
    echo "Shown: a No answer, the restart, the 2-hour delay and the power-off asked of Windows; every restart and power-off happened inside the virtual workstation ($KV_BUILD/e2e), never to this machine."
else
    echo "Shown: a No answer, the restart, and the notifier cancelling the power-off during the delay; every restart happened inside the virtual workstation ($KV_BUILD/e2e), never to this machine."
fi
exit "$rc"
