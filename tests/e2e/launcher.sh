#!/usr/bin/env bash
# The real KVButton.exe under Wine on a display: what its prompt offers (read from inside
# Wine by read_prompt.exe) and what each answer, pressed on the keyboard, does. Every case
# runs in a throwaway prefix of its own, since a restart ends the whole session.
# One scenario per call:
#   offered_durations | unrecognised_configs | yes_answer | cancel_answer
. "$(dirname "$0")/e2e-lib.sh"

CONFIG=shutdownaftersetting.nkv
BOX_NAME='^Nuvex Kelvaro \(Free Version\)$'
SCREENSHOT=$KV_BUILD/e2e/launcher-prompt.png

# Wine's menu builder, which every session start and restart runs, has nothing to do here.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

# end_leftovers: ends, one by one by id, any Wine process still running in this prefix
# after its server is gone (one caught starting up as the server ends can hang on).
end_leftovers() {
    local entry
    for entry in /proc/[0-9]*; do
        case $(readlink "$entry/exe" 2>/dev/null) in /usr/lib/wine/*) ;; *) continue ;; esac
        grep -qzxF "WINEPREFIX=$WINEPREFIX" "$entry/environ" 2>/dev/null || continue
        echo "  ending a leftover process of the prefix: $(tr -s '\0' ' ' <"$entry/cmdline" 2>/dev/null)"
        kill -9 "${entry#/proc/}" 2>/dev/null || true
    done
}

# scripts/test.sh hands ctest its display; called on its own, the script starts one.
[ -n "${DISPLAY:-}" ] || start_display
trap 'end_session; end_leftovers; end_display || true' EXIT

# begin_case NAME: a fresh prefix with the launcher and the prompt reader in C:\kv, and
# C:\work to start from.
begin_case() {
    case_failures=$failures
    new_prefix "launcher_$1"
    mkdir -p "$WINEPREFIX/drive_c/kv" "$WINEPREFIX/drive_c/work"
    cp "$KV_BUILD/launcher/KVButton.exe" "$KV_BUILD/tests/read_prompt.exe" "$WINEPREFIX/drive_c/kv/"
}

# config_in FOLDER BYTES: the launcher's configuration file in C:\FOLDER.
config_in() { printf '%s' "$2" >"$WINEPREFIX/drive_c/$1/$CONFIG"; }

# start_launcher FOLDER: C:\kv\KVButton.exe in the background, its current directory
# C:\FOLDER. Its forced restart shows in the process trace of its own process, so that
# trace goes to the session log too. Sets LAUNCHER_PID.
start_launcher() {
    (cd "$WINEPREFIX/drive_c/$1" &&
        WINEDEBUG=+process exec timeout 30 "$WINE64" 'C:\kv\KVButton.exe' \
            </dev/null >/dev/null 2>>"$SESSION_LOG") &
    LAUNCHER_PID=$!
}

# Waits for the prompt and keeps its text in $WINEPREFIX/prompt.seen.
read_prompt() {
    "$WINE64" 'C:\kv\read_prompt.exe' 20 >"$WINEPREFIX/prompt.seen" 2>/dev/null || true
    echo "  the prompt reads: \"$(tr '\n' '|' <"$WINEPREFIX/prompt.seen")\""
}

# prompt_offers DURATION: the whole text seen is the question with DURATION for No.
prompt_offers() {
    printf 'Do you want to restart and Auto-Shutdown after\n\n[Yes] 5 mins time \n\n[No] %s time \n\nOr\n\n[Cancel] to abort?' \
        "$1" >"$WINEPREFIX/prompt.expected"
    cmp -s "$WINEPREFIX/prompt.seen" "$WINEPREFIX/prompt.expected"
}

# answer KEY: presses KEY (y, n or Escape) in the prompt's window, as a person would.
answer() {
    local window
    window=$(xdotool search --name "$BOX_NAME" 2>/dev/null | head -n1 || true)
    [ -n "$window" ] || { echo "  no prompt window to answer"; return 0; }
    xdotool key --window "$window" "$1" 2>/dev/null
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

# Ends the case: once the launcher is gone (by itself, or by the restart, after which Wine
# brings the session up again) and the session has settled, the session and all in it.
# The prefix (some 700 MB) stays only when a check of the case failed.
end_case() {
    wait "$LAUNCHER_PID" 2>/dev/null || true
    local _
    for _ in $(seq 10); do session_settled && break; done
    end_session
    end_leftovers
    if [ "$failures" -eq "$case_failures" ]; then
        rm -rf "$WINEPREFIX"
    else
        echo "  kept for inspection: $WINEPREFIX"
    fi
}

# no_case NAME OFFER TOKEN SETUP...: in a fresh prefix laid out by the command SETUP, the
# launcher started from C:\work offers OFFER for No, and No writes "Setting=TOKEN" and
# asks for a forced restart.
no_case() {
    local name=$1 offer=$2 token=$3
    shift 3
    echo " $name"
    begin_case "$name"
    "$@"
    session
    start_launcher work
    read_prompt
    check "it offers [No] $offer" prompt_offers "$offer"
    answer n
    check "No asks for a forced restart" wait_for 15 restart_requested
    check "after writing exactly \"Setting=$token\"" setting_holds "Setting=$token"
    end_case
}

# The configuration decides the No-duration; its last line counts, and a missing file
# means one hour.
offered_durations() {
    no_case no_config "1 hour" 1hr :
    no_case two_hours "2 hours" 2hr config_in work 'Setting=2hr'
    # The shortest line that can carry a token: 11 bytes.
    no_case four_hours "4 hours" 4hr config_in work 'Setting=4hr'
    no_case last_line_counts "30 mins" 30mins \
        config_in work $'Setting=4hr\r\nSetting=2hr\r\nSetting=30mins'
}

# Anything but an exact token in the current directory leaves one hour.
unrecognised_configs() {
    no_case line_break "1 hour" 1hr config_in work $'Setting=2hr\n'
    no_case five_minutes "1 hour" 1hr config_in work 'Setting=5mins'
    no_case capitals "1 hour" 1hr config_in work 'Setting=2HR'
    # Beside the program is not where it looks: only C:\work, its current directory, counts.
    no_case beside_program "1 hour" 1hr config_in kv 'Setting=4hr'
}

yes_answer() {
    begin_case yes
    config_in work 'Setting=2hr'
    # A longer pending setting, to be replaced rather than overwritten in place.
    printf 'Setting=30mins' >"$(setting_path)"
    session
    start_launcher work
    read_prompt
    check "it offers [Yes] 5 mins and [No] 2 hours" prompt_offers "2 hours"
    import -window root "$SCREENSHOT" && echo "  screenshot of the prompt: $SCREENSHOT"
    answer y
    check "Yes asks for a forced restart" wait_for 15 restart_requested
    check "not a power-off" not power_off_requested
    check "after writing exactly \"Setting=5mins\"" setting_holds "Setting=5mins"
    end_case
}

cancel_answer() {
    begin_case cancel
    config_in work 'Setting=30mins'
    printf 'Setting=4hr\r\n' >"$(setting_path)"
    cp "$(setting_path)" "$WINEPREFIX/setting.before"
    session
    start_launcher work
    read_prompt
    check "it offers [No] 30 mins" prompt_offers "30 mins"
    answer Escape
    local rc=0
    wait "$LAUNCHER_PID" || rc=$?
    check "Cancel ends the launcher with exit code 0 (got $rc)" test "$rc" -eq 0
    check "the setting file is left byte for byte" cmp -s "$(setting_path)" "$WINEPREFIX/setting.before"
    check "no restart" not restart_requested
    check "no power-off" not power_off_requested
    end_case
}

echo "launcher scenario: $1"
"$1"
finish
