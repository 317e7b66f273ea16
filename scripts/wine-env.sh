# Sourced by the other scripts: where Wine is, and a private prefix under the build tree.
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko prompts in a fresh prefix

# Makes the prefix at $1 if it is not there yet (the first start takes some seconds).
make_prefix() {
    local prefix=$1
    if [ ! -f "$prefix/system.reg" ]; then
        mkdir -p "$prefix"
        WINEPREFIX=$prefix "$WINE64" wineboot --init </dev/null >/dev/null 2>&1
        WINEPREFIX=$prefix "$WINESERVER" -w
    fi
}

# Starts a Wine session in the prefix, its output detached so that it holds no pipe of
# the caller's; end it with end_session.
start_session() {
    export WINEPREFIX=$1
    "$WINESERVER" -p
    "$WINE64" wineboot </dev/null >/dev/null 2>&1
}

end_session() {
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
}

# A virtual display of our own: sets DISPLAY and XVFB_PID.
start_display() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
            sleep 0.1
        done
        kill "$XVFB_PID" 2>/dev/null
    done
    echo "no virtual display could be started" >&2
    return 1
}

end_display() {
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
}
