#!/usr/bin/env bash
# The road of one request on a virtual workstation: the x64 package installed silently in
# a fresh prefix, the launcher's prompt answered No with "2hr" configured, the setting
# file, the forced restart, the service's delay on a clock running 100 times faster, and
# the forced power-off; or, on the cancel road, the notifier started during the delay.
#
# Wine's desktop cannot start on a clock that runs much faster (its start-up waits time
# out), so the prompt and the restart happen on the true clock. Once the services are up
# again, the workstation goes down and boots once more on the fast clock: the service
# finds the same pending setting at that start and its delay passes in seconds.
# Each step is told as it happens; screenshots stay in $KV_BUILD/road. One road per call:
#   power_off_road | cancel_road
. "$(dirname "$0")/e2e-lib.sh"

SERVICE=Nuvex_Kelvaro_Service
SPEED=100
SHOTS=$KV_BUILD/road
BOX_NAME='^Nuvex Kelvaro \(Free Version\)$'

step() { printf '\n== %s\n' "$*"; }
winpath() { echo "Z:${1//\//\\}"; }
state_is() { timeout 10 "$WINE64" sc query "$SERVICE" 2>/dev/null | tr -d '\r' | grep -q "STATE *: *$1 "; }
setting_is() { [ "$(cat "$(setting_path)" 2>/dev/null)" = "$1" ]; }
shot() { import -window root "$SHOTS/$1.png" && echo "   screenshot: $SHOTS/$1.png"; }
# The service control manager started the service (Wine's process trace of the session);
# sc's own queries may time out on the fast clock.
service_started() { grep -aq 'CreateProcessInternalW.*Nuvex Kelvaro\\\\kelvaro.exe' "$SESSION_LOG"; }
restart_requested_once() { [ "$(grep -ac 'wineboot.exe --kill' "$SESSION_LOG")" -ge 1 ]; }

[ -n "${DISPLAY:-}" ] || start_display
trap 'end_session; end_display || true' EXIT
mkdir -p "$SHOTS"

install_workstation() {
    new_prefix "road_$1"
    rmdir "$WINEPREFIX/drive_c/NuvexKV" # the package makes it
    local kv=$WINEPREFIX/drive_c/NuvexKV
    step "Installing kelvaro-x64.msi silently into the workstation $WINEPREFIX"
    session
    local rc=0
    "$WINE64" msiexec /i "$(winpath "$KV_BUILD/kelvaro-x64.msi")" /qn </dev/null >/dev/null 2>&1 || rc=$?
    check "msiexec /i /qn ends with 0 (got $rc)" test "$rc" -eq 0
    check "the power service runs" wait_for 10 state_is 4
    check "c:\\NuvexKV is there" test -d "$kv"

    # Wine runs the user's Startup folder at every session start, as a logon would. This
    # workstation stands for one where nobody logs on during the delay, so the notifier's
    # Startup shortcut is set aside; the cancel road starts the notifier by hand instead.
    local startup
    startup=$(find "$WINEPREFIX/drive_c" -path '*StartUp*' -iname '*.lnk' | head -n1)
    [ -n "$startup" ] && mv "$startup" "$WINEPREFIX/notifier-at-logon.lnk"

    step "The launcher's configuration c:\\NuvexKV\\shutdownaftersetting.nkv holds \"Setting=2hr\""
    printf 'Setting=2hr' >"$kv/shutdownaftersetting.nkv"
}

# Brings the workstation down and up again on the fast clock, its services starting at boot.
boot_on_fast_clock() {
    end_session
    step "Booting the workstation again on a clock that runs $SPEED times faster"
    session "+0 x$SPEED"
    check "the power service started at boot" wait_for 20 service_started
}

ask_and_answer_no() {
    step "Starting KVButton from the Start menu (working folder c:\\NuvexKV)"
    (cd "$WINEPREFIX/drive_c/NuvexKV" &&
        WINEDEBUG=+process exec "$WINE64" 'C:\Program Files\Nuvex Kelvaro\KVButton.exe' \
            </dev/null >/dev/null 2>>"$SESSION_LOG") &
    local box
    box=$(timeout 30 xdotool search --sync --name "$BOX_NAME" 2>/dev/null | head -n1 || true)
    check "the restart prompt is on the display $DISPLAY" test -n "$box"
    shot "$1-1-prompt"
    step "Answering No: restart now, power off 2 hours after the machine is back up"
    [ -n "$box" ] && xdotool key --window "$box" n
    check "the setting file holds exactly \"Setting=2hr\"" wait_for 10 setting_is "Setting=2hr"
    check "a forced restart was requested" wait_for 20 restart_requested_once
    step "Wine ended every process of the session for the restart and starts the services again"
    check "the power service runs again" wait_for 30 state_is 4
}

power_off_road() {
    install_workstation power_off
    ask_and_answer_no power_off
    boot_on_fast_clock
    step "The service found \"2hr\" and sleeps 7200000 ms: about $((7200 / SPEED)) s here"
    check "when the delay is over the file holds exactly \"Setting=\"" \
        wait_for $((7200 / SPEED + 60)) setting_is "Setting="
    check "and a forced power-off was requested" wait_for 10 power_off_requested
    step "The workstation was powered off (Wine ran wineboot.exe --kill --shutdown)"
    shot power_off-2-after
}

cancel_road() {
    install_workstation cancel
    ask_and_answer_no cancel
    step "A user logs on during the delay: the notifier starts"
    ("$WINE64" 'C:\Program Files\Nuvex Kelvaro\kvnotify.exe' </dev/null >/dev/null 2>&1 &)
    check "its first tick cleared the pending setting to \"Setting=\"" wait_for 10 setting_is "Setting="
    shot cancel-2-notifier
    boot_on_fast_clock
    step "Waiting out the 2 hours of the delay: about $((7200 / SPEED)) s here"
    sleep $((7200 / SPEED + 10))
    check "no power-off was requested" not power_off_requested
    step "The pending power-off was cancelled"
}

echo "road: $1"
"$1"
finish
