# Shared by the end-to-end scenarios: a throwaway copy of the template prefix per scenario,
# its own Wine session, checks that say what they saw, and clean-up of what was started.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"

: "${KV_BUILD:?the build folder of the 64-bit programs}"
TEMPLATE=$KV_BUILD/wine-template
FAKETIME_LIB=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
failures=0

# new_prefix NAME: a fresh prefix for one scenario, with C:\NuvexKV present.
new_prefix() {
    [ -n "${WINEPREFIX:-}" ] && end_session
    export WINEPREFIX=$KV_BUILD/e2e/$1
    rm -rf "$WINEPREFIX"
    mkdir -p "$KV_BUILD/e2e"
    cp -a "$TEMPLATE" "$WINEPREFIX"
    mkdir -p "$WINEPREFIX/drive_c/NuvexKV"
    SESSION_LOG=$WINEPREFIX/session.log
}

# session [FAKETIME value]: starts the prefix's session with Wine's process trace in
# SESSION_LOG, under a faked clock when a value is given.
session() {
    local fake=()
    [ $# -gt 0 ] && fake=(env "LD_PRELOAD=$FAKETIME_LIB" "FAKETIME=$1")
    WINEDEBUG=+process "${fake[@]}" "$WINESERVER" -p
    WINEDEBUG=+process "${fake[@]}" "$WINE64" wineboot </dev/null >/dev/null 2>"$SESSION_LOG"
}

setting_path() { echo "$WINEPREFIX/drive_c/NuvexKV/shutdownafter.nkv"; }

power_off_requested() { grep -aq 'wineboot.exe --kill --shutdown' "$SESSION_LOG"; }
restart_requested() { grep -a 'wineboot.exe --kill' "$SESSION_LOG" | grep -avq -- '--shutdown'; }

# wait_for SECONDS COMMAND...: true as soon as the command succeeds.
wait_for() {
    local seconds=$1; shift
    local i
    for i in $(seq $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}

not() { ! "$@"; }

check() {
    local what=$1; shift
    if "$@"; then
        echo "  ok: $what"
    else
        echo "  FAILED: $what"
        failures=$((failures + 1))
    fi
}

# Ends the session; a prefix (some 700 MB) is kept for inspection only when a check failed.
finish() {
    end_session
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed; kept for inspection: $WINEPREFIX"
        exit 1
    fi
    rm -rf "$WINEPREFIX"
}
trap end_session EXIT
