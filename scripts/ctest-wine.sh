#!/usr/bin/env bash
# How ctest runs a build's unit tests under Wine (the emulator both toolchain files name):
# in the build's own prefix, BUILD/wineprefix, on a virtual display and in a Wine session
# of its own, so that a test run by hand (cd build/win64 && ctest -R NAME) needs nothing
# set and leaves nothing running or behind in the home folder.
#
#   scripts/ctest-wine.sh BUILD --start     the prefix made afresh from the template, the
#                                           display and the session started (the fixture's
#                                           first test)
#   scripts/ctest-wine.sh BUILD --end       the session and the display ended (its last)
#   scripts/ctest-wine.sh BUILD PROGRAM ARG...
#       PROGRAM run in that session, on that display. Without one (ctest lists a program's
#       tests as it starts, before any fixture), in a session for it alone, on no display.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh" # first: it may run this again, as it was called
export WINEPREFIX=$1/wineprefix
shift
said=$WINEPREFIX/kv-session # "DISPLAY XVFB_PID" of the running session

# end_unit_session: the session, and the display it ran on, end; also those of a run that
# was cut short.
end_unit_session() {
    local display pid
    end_session
    [ -f "$said" ] || return 0
    read -r display pid <"$said"
    # Only the Xvfb this started, should its id meanwhile be another process's.
    if [[ $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) == "Xvfb -displayfd "* ]]; then
        kill "$pid"
        for _ in $(seq 50); do
            case $(cut -d' ' -f3 "/proc/$pid/stat" 2>/dev/null) in "" | Z) break ;; esac # gone, or a zombie
            sleep 0.1
        done
    fi
    rm -f "$said"
}

case $1 in
    --start)
        end_unit_session
        fresh_prefix "$WINEPREFIX"
        unmanaged_windows "$WINEPREFIX"
        start_display
        echo "$DISPLAY $XVFB_PID" >"$said"
        start_session "$WINEPREFIX"
        ;;
    --end)
        end_unit_session
        ;;
    *)
        loader=$(loader_of "$1")
        if [ -f "$said" ]; then
            read -r DISPLAY _ <"$said"
            export DISPLAY
            exec "$loader" "$@"
        fi
        unset DISPLAY
        [ -f "$WINEPREFIX/system.reg" ] || fresh_prefix "$WINEPREFIX"
        # A server of its own first, holding none of ctest's pipes, as a session's would;
        # ctest reads the program's output, nothing else.
        "$WINESERVER" -p </dev/null >/dev/null 2>&1
        rc=0
        "$loader" "$@" || rc=$?
        end_session >&2
        exit "$rc"
        ;;
esac
