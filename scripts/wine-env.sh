# Sourced by the other scripts: where Wine is, and a private prefix under the build tree.

# Each Wine process maps the shared user data at a fixed address as it starts; in an
# address space laid out at random that address is now and then taken, and the process
# fails (c0000018). A script that sources this runs again with the layout fixed
# (setarch -R), which every process it starts inherits.
if [ $((0x$(cat /proc/self/personality) & 0x40000)) -eq 0 ]; then
    exec setarch -R bash "$0" "$@"
fi

# Wine's loaders of 32- and 64-bit programs and its server, named here only.
WINE_DIR=/usr/lib/wine
WINE32=$WINE_DIR/wine WINE64=$WINE_DIR/wine64 WINESERVER=$WINE_DIR/wineserver
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompts in a fresh prefix; no menu builder, which every session start
# and restart runs and which has nothing to do here.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# The pristine prefix that the tests, scenarios and benchmarks of both builds copy: a
# 64-bit Windows that runs 32-bit programs too (WoW64) where wine32 is installed.
KV_TEMPLATE=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine-template

# A folder a test makes is one only its owner may change, as on Windows.
umask 022

# make_prefix PREFIX: makes the prefix if it is not there yet (the first start takes some
# seconds). Callers side by side (two ctest runs, scenarios starting together) take turns
# on a lock; the prefix is made under another name and renamed once whole, so one that
# is there is complete.
make_prefix() {
    local prefix=$1
    [ ! -f "$prefix/system.reg" ] || return 0
    mkdir -p "${prefix%/*}"
    (
        flock 9
        [ ! -f "$prefix/system.reg" ] || exit 0
        rm -rf "$prefix" "$prefix.new"
        mkdir "$prefix.new"
        WINEPREFIX=$prefix.new "$WINE64" wineboot --init </dev/null >/dev/null 2>&1
        WINEPREFIX=$prefix.new "$WINESERVER" -w
        # Wine's own TrueType fonts (fonts-wine), where Wine 8 looks for them: the caption's
        # close box is drawn with Marlett, else as the letter "r".
        cp /usr/share/wine/fonts/*.ttf "$prefix.new/drive_c/windows/Fonts/"
        mv "$prefix.new" "$prefix"
    ) 9>"$prefix.lock"
}

# unmanaged_windows PREFIX: Wine puts its windows on the display itself, not through a
# window manager. A virtual display has none, and Wine waits 2 s in vain for one at every
# window it hides (a message box answered, say). Set while no session of the prefix runs.
unmanaged_windows() {
    printf '\n[Software\\\\Wine\\\\X11 Driver]\n"Managed"="N"\n' >>"$1/user.reg"
}

# fresh_prefix FOLDER: a fresh copy of the template at FOLDER, the template made first if
# need be.
fresh_prefix() {
    make_prefix "$KV_TEMPLATE"
    rm -rf "$1"
    cp -a "$KV_TEMPLATE" "$1"
}

# pe_machine FILE: the machine a Windows program is built for (i386, i386:x86-64).
pe_machine() { x86_64-w64-mingw32-objdump -f "$1" | sed -n 's/^architecture: \([^,]*\),.*/\1/p'; }
# loader_of FILE: Wine's loader for that program, its 32- or 64-bit one.
loader_of() { if [ "$(pe_machine "$1")" = i386:x86-64 ]; then echo "$WINE64"; else echo "$WINE32"; fi; }

# start_session PREFIX [WORD...]: starts a Wine session in the prefix, its first process
# (wineboot, run through the words given: an environment, a faked clock) with its output
# detached so that it holds no pipe of the caller's, its trace going to SESSION_LOG (by
# default nowhere). Sets BOOT_PID; ends as that process does. End it with end_session.
start_session() {
    export WINEPREFIX=$1
    shift
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
    "$@" "$WINE64" wineboot </dev/null >/dev/null 2>>"${SESSION_LOG:-/dev/null}" &
    BOOT_PID=$!
    wait "$BOOT_PID"
}

# prefix_processes [PATTERN]: the ids of the Wine processes, the server among them, whose
# prefix matches the shell pattern (by default, the prefix WINEPREFIX names).
prefix_processes() {
    local pattern=${1:-$WINEPREFIX} entry prefix
    for entry in /proc/[0-9]*; do
        case $(readlink "$entry/exe" 2>/dev/null) in "$WINE_DIR"/*) ;; *) continue ;; esac
        prefix=$(tr '\0' '\n' <"$entry/environ" 2>/dev/null | sed -n 's/^WINEPREFIX=//p')
        # shellcheck disable=SC2053 # the pattern is meant to match
        [[ -n $prefix && $prefix == $pattern ]] && echo "${entry#/proc/}"
    done
    return 0
}

# end_prefix_processes [PATTERN]: ends, one by one by id, every Wine process of the prefix
# (or prefixes) until none is left; false, saying which, if some would not end.
end_prefix_processes() {
    local ids id _
    for _ in $(seq 50); do
        ids=$(prefix_processes "$@")
        [ -n "$ids" ] || return 0
        for id in $ids; do
            echo "  ending a leftover Wine process: $(tr -s '\0' ' ' <"/proc/$id/cmdline" 2>/dev/null)"
            kill -9 "$id" 2>/dev/null || true
        done
        sleep 0.1
    done
    echo "  Wine processes that would not end: $(prefix_processes "$@" | tr '\n' ' ')"
    return 1
}

# Ends the session and everything of it. A process caught starting up as the server ends
# finds no server and starts one of its own, which the next session of the prefix would
# then join (on the wrong clock, say): so the session has ended only once no process of
# the prefix is left. Then the files its processes left behind, named in SESSION_LEFTOVERS,
# go too.
end_session() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    end_prefix_processes "$WINEPREFIX" || return 1
    # shellcheck disable=SC2086 # paths without spaces
    rm -f ${SESSION_LEFTOVERS:-}
    SESSION_LEFTOVERS=
}

# own_display: a virtual display unless one is given; on exit, the session and the display
# that this started end.
own_display() {
    [ -n "${DISPLAY:-}" ] || start_display
    trap 'end_session; end_display || true' EXIT
}

# A virtual display of our own: sets DISPLAY and XVFB_PID. Xvfb picks a free number itself
# and says which once it takes connections, so displays started side by side never clash.
start_display() {
    local said n=
    said=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$said" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        n=$(cat "$said")
        [ -z "$n" ] || break
        sleep 0.1
    done
    rm -f "$said"
    if [ -z "$n" ]; then
        kill "$XVFB_PID" 2>/dev/null
        echo "no virtual display could be started" >&2
        return 1
    fi
    export DISPLAY=":$n"
}

end_display() {
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
}
