#!/usr/bin/env bash
# The real KVButton.exe under Wine on a display: what its prompt offers (read from inside
# Wine by read_prompt.exe) and what each answer, clicked with the mouse, does. Every case
# runs in a throwaway prefix of its own, since a restart ends the whole session.
# One scenario per call:
#   offered_durations | unrecognised_configs | yes_answer | cancel_answer
. "$(dirname "$0")/e2e-lib.sh"

CONFIG=shutdownaftersetting.nkv
SCREENSHOT=$KV_BUILD/e2e/launcher-prompt.png

# begin_launcher_case NAME: a fresh prefix with the launcher in C:\kv, and C:\work to
# start from.
begin_launcher_case() {
    open_case "launcher_$1" launcher/KVButton.exe
    mkdir -p "$WINEPREFIX/drive_c/work"
}

# config_in FOLDER BYTES: the launcher's configuration file in C:\FOLDER.
config_in() { printf '%s' "$2" >"$WINEPREFIX/drive_c/$1/$CONFIG"; }

# start_launcher FOLDER: C:\kv\KVButton.exe in the background, its current directory
# C:\FOLDER.
start_launcher() { start_program "$1" KVButton.exe; }

# no_case NAME OFFER TOKEN SETUP...: in a fresh prefix laid out by the command SETUP, the
# launcher started from C:\work offers OFFER for No, and No writes "Setting=TOKEN" and
# asks for a forced restart.
no_case() {
    local name=$1 offer=$2 token=$3
    shift 3
    echo " $name"
    begin_launcher_case "$name"
    "$@"
    session
    start_launcher work
    read_prompt
    check "it offers [No] $offer" prompt_offers "$offer"
    answer no
    check "No asks for a forced restart" wait_for 15 restart_requested
    check "after writing exactly \"Setting=$token\"" setting_holds "Setting=$token"
    close_case
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
    begin_launcher_case yes
    config_in work 'Setting=2hr'
    # A longer pending setting, to be replaced rather than overwritten in place.
    printf 'Setting=30mins' >"$(setting_path)"
    session
    start_launcher work
    read_prompt
    check "it offers [Yes] 5 mins and [No] 2 hours" prompt_offers "2 hours"
    import -window root "$SCREENSHOT" && echo "  screenshot of the prompt: $SCREENSHOT"
    answer yes
    check "Yes asks for a forced restart" wait_for 15 restart_requested
    check "not a power-off" not power_off_requested
    check "after writing exactly \"Setting=5mins\"" setting_holds "Setting=5mins"
    close_case
}

cancel_answer() {
    begin_launcher_case cancel
    config_in work 'Setting=30mins'
    printf 'Setting=4hr\r\n' >"$(setting_path)"
    cp "$(setting_path)" "$WINEPREFIX/setting.before"
    session
    start_launcher work
    read_prompt
    check "it offers [No] 30 mins" prompt_offers "30 mins"
    answer cancel
    local rc=0
    wait "$PROGRAM_PID" || rc=$?
    check "Cancel ends the launcher with exit code 0 (got $rc)" test "$rc" -eq 0
    check "the setting file is left byte for byte" cmp -s "$(setting_path)" "$WINEPREFIX/setting.before"
    check "no restart" not restart_requested
    check "no power-off" not power_off_requested
    close_case
}

echo "launcher scenario: $1"
"$1"
finish
