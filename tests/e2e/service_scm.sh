#!/usr/bin/env bash
# The real kelvaro.exe under Wine's service control manager. One scenario per call:
#   by_hand | start_stop | deferred_power_off | cancelled_during_delay | scheduled_restart
. "$(dirname "$0")/e2e-lib.sh"

SPEED=20   # the clock runs this many times faster in the sped-up scenarios

install_service() {
    cp "$KV_BUILD/service/kelvaro.exe" "$WINEPREFIX/drive_c/kv/"
    sc create "$SERVICE" binPath= 'C:\kv\kelvaro.exe' type= own start= demand
}

exit_code_is() { service_query | grep -q "WIN32_EXIT_CODE *: *$1 "; }
# opened_nothing_there TRACE: Wine's file trace (every file opened) shows opens, none in C:\NuvexKV.
opened_nothing_there() { grep -aq :NtCreateFile "$1" && ! grep -aqi NuvexKV "$1"; }

by_hand() {
    open_case by_hand
    session
    printf 'Setting=5mins' >"$(setting_path)"
    local rc=0 trace=$WINEPREFIX/by_hand.trace
    WINEDEBUG=+file bounded 30 "$WINE" "$KV_BUILD/service/kelvaro.exe" </dev/null >/dev/null 2>"$trace" || rc=$?
    # Wine's dispatcher waits about 10 s for a control pipe before it gives up;
    # Windows answers at once.
    check "started by hand it ends with 0 (got $rc)" test "$rc" -eq 0
    check "it opens nothing in C:\NuvexKV (Wine's file trace of it)" opened_nothing_there "$trace"
    check "no power request" not power_requested
}

start_stop() {
    open_case start_stop
    session
    install_service
    sc start "$SERVICE"
    check "started, it reports running" wait_for 10 state_is 4
    check "  in a $KV_ARCH process ($WINE)" runs_as_built kelvaro.exe
    sc stop "$SERVICE"
    check "stopped, it reports stopped" wait_for 10 state_is 1
    check "with exit code 0" exit_code_is 0
    check "nothing pending, no power request" not power_requested
}

# start_with_pending NAME [MODE]: the service started on the sped-up clock, "Setting=5mins"
# pending, C:\NuvexKV of the given mode.
start_with_pending() {
    open_case "$1"
    session
    install_service
    end_session
    printf 'Setting=5mins' >"$(setting_path)"
    chmod "${2:-755}" "$WINEPREFIX/drive_c/NuvexKV"
    session "+0 x$SPEED"
    sc start "$SERVICE"
}

# Neither reading the setting file nor asking for a power-off.
untouched() { ! setting_read && ! power_requested; }

deferred_power_off() {
    # In a C:\NuvexKV every user may change (Wine shows mode 0777 as Everyone: full
    # control), the service, LocalSystem, acts on nothing.
    start_with_pending deferred_power_off 777
    check "with a C:\\NuvexKV users may change, the service runs" wait_for 10 state_is 4
    check "  reads nothing there and asks for no power-off, past the delay" \
        holds_for $((300 / SPEED + 3)) untouched
    check "  the file stays as it was" setting_holds 'Setting=5mins'
    stop_service
    # The folder as the package makes it; the file marked hidden and read-only.
    chmod 755 "$WINEPREFIX/drive_c/NuvexKV"
    mark_setting_file
    sc start "$SERVICE"
    check "the service reads the pending setting" wait_for 20 setting_read
    check "  and asks for nothing yet" not power_requested
    local read_at delay
    read_at=$(setting_read_at)
    check "5 minutes of the sped-up clock later the file holds exactly \"Setting=\"" \
        wait_for 60 setting_holds "Setting="
    delay=$(written_seconds_after "$read_at")
    check "cleared $delay s after it was read, not before the delay ($((300 / SPEED)) s here)" \
        at_least $((300 * 8 / 10 / SPEED)) "$delay"
    check "  its hidden and read-only marks taken off" setting_unmarked
    check "and asked Windows for a forced power-off, as a service does" wait_for 10 service_requested power_off
    check "  and for nothing else" test "$(power_requests)" -eq 1
}

cancelled_during_delay() {
    start_with_pending cancelled_during_delay
    check "the service runs" wait_for 10 state_is 4
    check "and reads the pending setting" wait_for 20 setting_read
    printf 'Setting=' >"$(setting_path)"   # what the tray notifier does at its start
    check "when the delay is over it reads the file again" wait_for $((300 / SPEED + 30)) setting_read
    check "the service still runs" state_is 4
    stop_service
    check "it asked for no power-off" not power_requested
    check "the file stays exactly \"Setting=\"" setting_holds "Setting="
}

scheduled_restart() {
    open_case scheduled_restart
    session
    install_service
    end_session
    # Under Wine a service starts in C:\windows; that is where it looks for its markers.
    : >"$WINEPREFIX/drive_c/windows/kvrestarthr.nkv"
    session "@2026-12-07 19:00:02"
    sc start "$SERVICE"
    check "a forced restart asked for on the first tick, just after 19:00" wait_for 20 service_requested restart
    check "  and nothing else" test "$(power_requests)" -eq 1
}

echo "service scenario: $1"
"$1"
finish
