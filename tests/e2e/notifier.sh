#!/usr/bin/env bash
# The real kvnotify.exe under Wine on a display: its icon in Wine's tray window, the
# clearing of a pending power-off about a second after it starts, the prompt that a press
# on the icon opens (read from inside Wine by read_prompt.exe, answered with the mouse),
# and the messages that end it or do not. Every case runs in a throwaway prefix of its own.
# One scenario per call:
#   tray_prompt | yes_answer | missing_folder | menu_exit
. "$(dirname "$0")/e2e-lib.sh"

SHOTS=$KV_BUILD/e2e
ICON_X=0 ICON_Y=0 SLOT=1 # until the icon shows

begin_notifier_case() {
    echo " $1"
    open_case "notifier_$1" notifier/kvnotify.exe tests/send_command.exe
}

# Starts the session and the notifier; true once its icon is in the tray.
start_notifier() {
    session
    start_program kv kvnotify.exe
    check "its icon shows in Wine's tray window" wait_for 20 tray_icon_shown
}

# tray_icon_shown: Wine's tray window is on the display, which it is once it holds an
# icon. Sets ICON_X and ICON_Y to the middle of its first slot (slots are square).
tray_icon_shown() {
    local tray X=0 Y=0 WIDTH=0 HEIGHT=0 SCREEN WINDOW
    tray=$(xdotool search --onlyvisible --name '^Wine System Tray' 2>/dev/null | head -n1)
    [ -n "$tray" ] || return 1
    eval "$(xdotool getwindowgeometry --shell "$tray")"
    ICON_X=$((X + HEIGHT / 2)) ICON_Y=$((Y + HEIGHT / 2)) SLOT=$HEIGHT
}

# icon_drawn SCREENSHOT: the first slot holds a picture, not only the tray's background.
icon_drawn() {
    local colours
    colours=$(convert "$1" -crop "${SLOT}x${SLOT}+$((ICON_X - SLOT / 2))+$((ICON_Y - SLOT / 2))" \
        -format %k info:)
    echo "  the first slot of the tray shows $colours colours"
    [ "$colours" -gt 8 ]
}

# press_icon BUTTON: presses mouse BUTTON (1 left, 3 right) on the icon and reads the
# prompt while the button is still down, then lets go.
press_icon() {
    xdotool mousemove "$ICON_X" "$ICON_Y" mousedown "$1"
    read_prompt
    xdotool mouseup "$1"
}

# The notifier's process, not a zombie of it, is still there.
running() {
    local state
    state=$(awk '{ print $3 }' "/proc/$PROGRAM_PID/stat" 2>/dev/null)
    [ -n "$state" ] && [ "$state" != Z ]
}

# post ARGS...: send_command.exe ARGS in the session; prints its exit code.
post() {
    local rc=0
    bounded 30 "$WINE" 'C:\kv\send_command.exe' "$@" </dev/null >/dev/null || rc=$?
    echo "$rc"
}

tray_prompt() {
    begin_notifier_case tray_prompt
    printf 'Setting=2hr' >"$(setting_path)"
    mark_setting_file
    start_notifier
    import -window root "$SHOTS/notifier-tray.png" && echo "  screenshot of the tray: $SHOTS/notifier-tray.png"
    check "its slot shows the icon's picture" icon_drawn "$SHOTS/notifier-tray.png"
    # Not before its first tick, a second after it starts, is the unit tests' to show.
    check "the pending setting is cleared to exactly \"Setting=\" within 5 s of the icon" \
        wait_for 5 setting_holds "Setting="
    check "  its hidden and read-only marks taken off" setting_unmarked
    # Longer content from now on, so that any write shows (the clearing ticks that follow
    # leave it alone) and No must replace it whole.
    printf 'Setting=30mins\r\n' >"$(setting_path)"
    xdotool mousemove "$ICON_X" "$ICON_Y" click 2
    check "a move over the icon and a middle click open no prompt" not wait_for 2 prompt_shown
    press_icon 1
    check "pressing the left button opens the prompt, offering [No] 1 hour" prompt_offers "1 hour"
    import -window root "$SHOTS/notifier-prompt.png" && echo "  screenshot of the prompt: $SHOTS/notifier-prompt.png"
    answer cancel
    check "Cancel closes the prompt" wait_for 5 not prompt_shown
    check "and leaves the setting file byte for byte" holds_for 3 setting_holds $'Setting=30mins\r\n'
    check "and the notifier running" running
    check "without a restart" not restart_requested
    press_icon 3
    check "pressing the right button opens it again, offering [No] 1 hour" prompt_offers "1 hour"
    answer no
    check "No asks for a forced restart" wait_for 15 restart_requested
    check "after writing exactly \"Setting=1hr\"" setting_holds "Setting=1hr"
    close_case
}

yes_answer() {
    begin_notifier_case yes
    printf 'Setting=2hr' >"$(setting_path)"
    start_notifier
    check "the pending setting is cleared" wait_for 5 setting_holds "Setting="
    press_icon 1
    check "it offers [Yes] 5 mins and [No] 1 hour" prompt_offers "1 hour"
    answer yes
    check "Yes asks for a forced restart" wait_for 15 restart_requested
    check "not a power-off" not power_off_requested
    check "after writing exactly \"Setting=5mins\"" setting_holds "Setting=5mins"
    close_case
}

# Without C:\NuvexKV nothing can be written: no No line, and Yes neither writes nor
# restarts. The clearing goes on every second, also while a prompt is open, and a No
# pressed after it has succeeded carries the one hour the text did not show.
missing_folder() {
    begin_notifier_case missing_folder
    rmdir "$WINEPREFIX/drive_c/NuvexKV"
    start_notifier
    check "its clearing ticks make no folder" holds_for 2 test ! -e "$WINEPREFIX/drive_c/NuvexKV"
    press_icon 1
    check "the prompt has no No line" prompt_offers ""
    answer yes
    check "Yes closes the prompt" wait_for 5 not prompt_shown
    check "and writes nothing (no folder, no file)" holds_for 2 test ! -e "$WINEPREFIX/drive_c/NuvexKV"
    check "and asks for no restart" not restart_requested
    check "the notifier keeps running" running
    press_icon 3
    check "a new prompt has no No line either" prompt_offers ""
    mkdir "$WINEPREFIX/drive_c/NuvexKV"
    check "once the folder is there, the file is exactly \"Setting=\" within 2 s" \
        wait_for 2 setting_holds "Setting="
    check "while the prompt stays open" prompt_shown
    answer no
    check "No then writes exactly \"Setting=1hr\"" wait_for 5 setting_holds "Setting=1hr"
    check "and asks for a forced restart" wait_for 15 restart_requested
    close_case
}

# The main window is hidden, so its menu's Exit and a close request come from
# send_command.exe, which posts them to the window.
menu_exit() {
    begin_notifier_case menu_exit
    start_notifier
    check "WM_CLOSE is posted to its window" test "$(post close)" -eq 0
    check "and leaves it running" holds_for 2 running
    check "Exit (command 105) is posted to the same window, still there" \
        test "$(post command 105)" -eq 0
    check "and ends it" wait_for 5 not running
    local rc=0
    wait "$PROGRAM_PID" || rc=$?
    check "with exit code 0 (got $rc)" test "$rc" -eq 0
    check "without a restart" not restart_requested
    close_case
}

echo "notifier scenario: $1"
"$1"
finish
