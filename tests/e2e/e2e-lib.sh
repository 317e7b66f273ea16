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

# ---- Desktop programs: their prompt on a display, answered as a person would --------

BOX_NAME='^Nuvex Kelvaro \(Free Version\)$'

# use_display: scripts/test.sh hands ctest its display; called on its own, a script starts
# one. On exit everything the scenario started ends.
use_display() {
    # Wine's menu builder, which every session start and restart runs, has nothing to do here.
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
    [ -n "${DISPLAY:-}" ] || start_display
    trap 'end_session; end_leftovers; end_display || true' EXIT
}

# prefix_processes: the ids of the Wine processes running in this prefix.
prefix_processes() {
    local entry
    for entry in /proc/[0-9]*; do
        case $(readlink "$entry/exe" 2>/dev/null) in /usr/lib/wine/*) ;; *) continue ;; esac
        grep -qzxF "WINEPREFIX=$WINEPREFIX" "$entry/environ" 2>/dev/null && echo "${entry#/proc/}"
    done
    return 0
}

# end_leftovers: ends, one by one by id, any Wine process still running in this prefix
# after its server is gone (one caught starting up as the server ends can hang on).
end_leftovers() {
    local id
    for id in $(prefix_processes); do
        echo "  ending a leftover process of the prefix: $(tr -s '\0' ' ' <"/proc/$id/cmdline" 2>/dev/null)"
        kill -9 "$id" 2>/dev/null || true
    done
}

# begin_case NAME FILE...: a fresh prefix with the given files of the build folder in C:\kv.
begin_case() {
    case_failures=$failures
    new_prefix "$1"
    shift
    mkdir -p "$WINEPREFIX/drive_c/kv"
    local file
    for file in "$@"; do cp "$KV_BUILD/$file" "$WINEPREFIX/drive_c/kv/"; done
}

# start_program FOLDER PROGRAM: C:\kv\PROGRAM in the background, its current directory
# C:\FOLDER. A forced restart shows in the process trace of the asking process, so that
# trace goes to the session log too. Sets PROGRAM_PID.
start_program() {
    (cd "$WINEPREFIX/drive_c/$1" &&
        WINEDEBUG=+process exec timeout 60 "$WINE64" "C:\\kv\\$2" \
            </dev/null >/dev/null 2>>"$SESSION_LOG") &
    PROGRAM_PID=$!
}

prompt_shown() { xdotool search --onlyvisible --name "$BOX_NAME" >/dev/null 2>&1; }

# Waits for the prompt (read_prompt.exe in C:\kv) and keeps its text in prompt.seen.
read_prompt() {
    "$WINE64" 'C:\kv\read_prompt.exe' 20 >"$WINEPREFIX/prompt.seen" 2>/dev/null || true
    echo "  the prompt reads: \"$(tr '\n' '|' <"$WINEPREFIX/prompt.seen")\""
}

# prompt_offers [DURATION]: the whole text seen is the question with DURATION for No, or
# with no No line at all when DURATION is empty.
prompt_offers() {
    local no=
    [ -z "${1:-}" ] || no=$'\n\n'"[No] $1 time "
    printf '%s' "Do you want to restart and Auto-Shutdown after"$'\n\n'"[Yes] 5 mins time $no" \
        $'\n\nOr\n\n[Cancel] to abort?' >"$WINEPREFIX/prompt.expected"
    cmp -s "$WINEPREFIX/prompt.seen" "$WINEPREFIX/prompt.expected"
}

# answer KEY: clicks into the prompt's text, which makes it the active window, and presses
# KEY (y, n or Escape) on the keyboard.
answer() {
    local box X=0 Y=0 WIDTH=0 HEIGHT=0 SCREEN WINDOW
    box=$(xdotool search --onlyvisible --name "$BOX_NAME" 2>/dev/null | head -n1 || true)
    [ -n "$box" ] || { echo "  no prompt window to answer"; return 0; }
    eval "$(xdotool getwindowgeometry --shell "$box")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + 10)) click 1 sleep 0.2 key "$1"
}

# setting_holds BYTES: the setting file holds exactly BYTES, nothing after them.
setting_holds() { cmp -s "$(setting_path)" <(printf '%s' "$1"); }

# True when no new process shows in the session's trace for a second.
session_settled() {
    local size
    size=$(stat -c %s "$SESSION_LOG")
    sleep 1
    [ "$(stat -c %s "$SESSION_LOG")" = "$size" ]
}

# Ends the case: once the session has settled (after a restart Wine brings it up again),
# the session and all in it. The prefix (some 700 MB) stays only when a check failed.
end_case() {
    local _
    for _ in $(seq 10); do session_settled && break; done
    end_session
    end_leftovers
    wait "$PROGRAM_PID" 2>/dev/null || true
    if [ "$failures" -eq "$case_failures" ]; then
        rm -rf "$WINEPREFIX"
    else
        echo "  kept for inspection: $WINEPREFIX"
    fi
}
