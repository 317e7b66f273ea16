#!/usr/bin/env bash
# The road of one request on a virtual workstation: the build's package (kelvaro-x86.msi or
# kelvaro-x64.msi) installed silently in a fresh prefix with LAUNCHERDELAY=2hr, the
# launcher's prompt answered No, the setting file, the forced restart (Wine ends and starts
# the session), the service's delay on a clock running 100 times faster, and the forced
# power-off the service asks Windows for; or, on the cancel road, the notifier started
# during the delay.
#
# The prompt and the restart happen on the true clock. Once the services are up again, the
# workstation goes down and boots once more on the fast clock: the service finds the same
# pending setting at that start and its delay passes in seconds.
# Each step is told as it happens; screenshots stay in $KV_BUILD/road. One road per call:
#   power_off_road | cancel_road
. "$(dirname "$0")/e2e-lib.sh"

SPEED=100
SHOTS=$KV_BUILD/road

step() { printf '\n== %s\n' "$*"; }
shot() { import -window root "$SHOTS/$1.png" && echo "   screenshot: $SHOTS/$1.png"; }

mkdir -p "$SHOTS"

install_workstation() {
    open_case "road_$1"
    rmdir "$WINEPREFIX/drive_c/NuvexKV" # the package makes it
    local kv=$WINEPREFIX/drive_c/NuvexKV
    step "Installing ${MSI##*/} silently into the workstation $WINEPREFIX, the launcher's delay 2 hours"
    session
    install LAUNCHERDELAY=2hr
    check "the power service runs" wait_for 10 state_is 4
    check "the launcher's configuration holds \"Setting=2hr\"" \
        test "$(cat "$kv/shutdownaftersetting.nkv")" = Setting=2hr

    # Wine runs the user's Startup folder at every session start, as a logon would. This
    # workstation stands for one where nobody logs on during the delay, so the notifier's
    # Startup shortcut is set aside; the cancel road starts the notifier by hand instead.
    local startup
    startup=$(find "$WINEPREFIX/drive_c" -path '*StartUp*' -iname '*.lnk' | head -n1)
    [ -n "$startup" ] && mv "$startup" "$WINEPREFIX/notifier-at-logon.lnk"
}

# Brings the workstation down and up again on the fast clock, its services starting at boot.
boot_on_fast_clock() {
    end_session
    # The service read the file when the restart brought it up. A new modification time
    # (the bytes stay as they are) lets the file's access time show its next reading.
    touch -m "$(setting_path)"
    step "Booting the workstation again on a clock that runs $SPEED times faster"
    session "+0 x$SPEED"
    # sc's own queries may time out on the fast clock: the process trace shows the start.
    check "the power service started at boot" wait_for 20 process_started 'kelvaro\.exe'
    check "  and read the pending setting" wait_for 20 setting_read
    READ_AT=$(setting_read_at)
    check "  and asks for nothing yet" not power_requested
}

ask_and_answer_no() {
    step "Starting KVButton from the Start menu (working folder c:\\NuvexKV)"
    start_program NuvexKV "$INSTALLED\\KVButton.exe"
    local box
    box=$(timeout 30 xdotool search --sync --name "$BOX_NAME" 2>/dev/null | head -n1 || true)
    check "the restart prompt is on the display $DISPLAY" test -n "$box"
    shot "$1-1-prompt"
    step "Answering No: restart now, power off 2 hours after the machine is back up"
    answer no
    check "the setting file holds exactly \"Setting=2hr\"" wait_for 10 setting_holds "Setting=2hr"
    check "a forced restart was requested" wait_for 20 restart_requested
    step "Wine ended every process of the session for the restart and starts the services again"
    check "the power service runs again" wait_for 30 state_is 4
}

power_off_road() {
    install_workstation power_off
    ask_and_answer_no power_off
    boot_on_fast_clock
    step "The service found \"2hr\" and sleeps 7200000 ms: about $((7200 / SPEED)) s here"
    check "when the delay is over the file holds exactly \"Setting=\"" \
        wait_for $((7200 / SPEED + 60)) setting_holds "Setting="
    local delay
    delay=$(written_seconds_after "$READ_AT")
    check "  $delay s after the service read it, not before the delay" \
        at_least $((7200 * 8 / 10 / SPEED)) "$delay"
    check "and the service asked Windows for a forced power-off" wait_for 10 service_requested power_off
    step "The power-off was handed to Windows: InitiateShutdownW, the call for a service, which" \
         "Wine takes and leaves undone; on Windows the workstation powers off here"
    shot power_off-2-after
}

cancel_road() {
    install_workstation cancel
    ask_and_answer_no cancel
    boot_on_fast_clock
    step "The service found \"2hr\" and sleeps 7200000 ms (about $((7200 / SPEED)) s here);" \
         "a user logs on during the delay: the notifier starts"
    start_program NuvexKV "$INSTALLED\\kvnotify.exe"
    check "its first tick cleared the pending setting to \"Setting=\"" wait_for 10 setting_holds "Setting="
    shot cancel-2-notifier
    step "Waiting out the rest of the delay"
    check "when the delay is over the service reads the file again" \
        wait_for $((7200 / SPEED + 60)) setting_read
    stop_service
    check "no power-off was requested" not power_requested
    check "the file still holds exactly \"Setting=\"" setting_holds "Setting="
    step "The pending power-off was cancelled"
}

echo "road: $1"
"$1"
finish
