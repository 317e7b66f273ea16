#!/usr/bin/env bash
# Sets up, builds the programs and their packages, and walks the road of one request on a
# virtual workstation (a private Wine prefix): the package installed silently, the
# launcher's prompt answered No with "2hr" configured, the forced restart, the service's
# delay on a fast clock and the forced power-off. With --cancel, the notifier started
# during the delay cancels the power-off instead. The prompt shows on your display when
# there is one, else on a virtual one; screenshots stay in build/win64/road.
set -euo pipefail
cd "$(dirname "$0")/.."
road=power_off_road
[ "${1:-}" = "--cancel" ] && road=cancel_road

scripts/setup.sh
echo "building..."
scripts/build.sh >/dev/null
. scripts/wine-env.sh
export KV_BUILD=$PWD/build/win64
make_prefix "$KV_BUILD/wine-template"
exec tests/e2e/road.sh "$road"
