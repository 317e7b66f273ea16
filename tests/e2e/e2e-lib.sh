# Shared by the end-to-end scenarios: a throwaway copy of the template prefix per scenario,
# its own Wine session, checks that say what they saw, and clean-up of what was started.
set -eEuo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"
E2E=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)   # the scenarios and their helpers

: "${KV_BUILD:?the build folder of the programs under test}"
# What differs between the builds: the loader of their programs, their package, and the
# folders it installs the programs and the daily markers into (a 32-bit service on 64-bit
# Windows reads SysWOW64 for System32).
case ${KV_ARCH:=x64} in
    x86) WINE=$WINE32 PROGRAM_FILES='Program Files (x86)' SYSTEM_DIR=syswow64 ;;
    x64) WINE=$WINE64 PROGRAM_FILES='Program Files' SYSTEM_DIR=system32 ;;
esac
MSI=$KV_BUILD/kelvaro-$KV_ARCH.msi
INSTALLED='C:\'$PROGRAM_FILES'\Nuvex Kelvaro'
# The fast clock: the loader picks the library of the process's own architecture; 32-bit
# processes need the build's time64 library before it.
# shellcheck disable=SC2016 # $LIB is the dynamic loader's, not the shell's
FAKETIME_LIB='/usr/$LIB/faketime/libfaketime.so.1'
[ "$KV_ARCH" = x64 ] || FAKETIME_LIB="$KV_BUILD/faketime/\$LIB/libtime64.so $FAKETIME_LIB"
SERVICE=Nuvex_Kelvaro_Service
SESSION_LOG=/dev/null
# Windows Installer's exit codes, as a Linux exit code keeps them: their low 8 bits.
MSI_FAILED=$((1603 % 256))          # 1603, the installation failed
MSI_RESTART_NEEDED=$((3010 % 256))  # 3010, done; a file in use is replaced at the next restart

# winpath PATH: the Linux file as the prefix's programs reach it, through Wine's drive Z:.
winpath() { echo "Z:${1//\//\\}"; }
# The service as the service control manager reports it, and sc's exit code in SC_RC (in
# the calling shell, when not run in a pipe). sc can take long to answer on a loaded host
# or a fast clock: a query that does not answer within 10 s reports nothing, and sc is
# killed 5 s after the polite end. Its answer goes through a file, which no process it may
# have started can hold open as it could a pipe.
service_query() {
    SC_RC=0
    timeout -k 5 10 "$WINE64" sc query "$SERVICE" >"$WINEPREFIX/sc-query.out" 2>/dev/null || SC_RC=$?
    tr -d '\r' <"$WINEPREFIX/sc-query.out"
}
# sc ends with 1 when it knows no such service; a query its limit cuts short is no answer.
service_absent() { service_query >/dev/null; [ "$SC_RC" -eq 1 ]; }
state_is() { service_query | grep -q "STATE *: *$1 "; }
# bounded SECONDS COMMAND...: a one-shot command and its exit code; one that runs longer is
# killed (5 s after the polite end: 124, or 137) and says so on stderr.
bounded() {
    local rc=0
    timeout -k 5 "$@" || rc=$?
    [ "$rc" -ne 124 ] && [ "$rc" -ne 137 ] || echo "  not ended within $1 s: ${*:2}" >&2
    return "$rc"
}
sc() { bounded 30 "$WINE64" sc "$@" </dev/null >/dev/null || stop "sc $* ended with $?"; }
# In its delay the service stops once that is over and done: the trace then holds all it asked.
stop_service() { sc stop "$SERVICE"; check "it stops: its process ends" wait_for 30 not program_running kelvaro.exe; }

# ---- Cases ------------------------------------------------------------------------------
# A scenario runs one case or several, one after the other, each in a fresh copy of the
# template prefix: open_case makes it, close_case ends what the case started and removes
# its prefix (kept when one of its checks failed), finish closes the last case and gives
# the scenario's verdict. check counts into FAILURES; start_program sets PROGRAM_PID,
# which close_case waits for.
FAILURES=0
CASE_FAILURES=0 # FAILURES when the open case began
CASE_PREFIX=    # the open case's prefix; empty when none is open
PROGRAM_PID=

# open_case NAME [FILE...]: a fresh prefix for the case, with C:\NuvexKV present and the
# given files of the build folder in C:\kv. What a run before left under that name, its
# processes included, goes first; the windows of an earlier case are gone from the display.
open_case() {
    [ -z "$CASE_PREFIX" ] || close_case
    export WINEPREFIX=$KV_BUILD/e2e/$1
    SESSION_LOG=$WINEPREFIX/session.log
    end_prefix_processes "$WINEPREFIX"
    [ -z "${DISPLAY:-}" ] || wait_for 10 display_clear ||
        stop "windows of an earlier case are still on the display: $(our_windows | tr '\n' ' ')"
    mkdir -p "$KV_BUILD/e2e"
    fresh_prefix "$WINEPREFIX"
    [ -z "${XVFB_PID:-}" ] || unmanaged_windows "$WINEPREFIX"
    trace_power_calls "$WINEPREFIX"
    mkdir -p "$WINEPREFIX/drive_c/NuvexKV" "$WINEPREFIX/drive_c/kv"
    CASE_PREFIX=$WINEPREFIX CASE_FAILURES=$FAILURES
    shift
    local file
    for file in "$@"; do cp "$KV_BUILD/$file" "$WINEPREFIX/drive_c/kv/"; done
}

# close_case: the session and everything in it end. The prefix (some 700 MB) stays only
# when a check of the case failed.
close_case() {
    end_session || FAILURES=$((FAILURES + 1))
    [ -z "$PROGRAM_PID" ] || wait "$PROGRAM_PID" 2>/dev/null || true
    PROGRAM_PID=
    if [ "$FAILURES" -eq "$CASE_FAILURES" ]; then
        rm -rf "$CASE_PREFIX"
    else
        echo "  kept for inspection: $CASE_PREFIX"
    fi
    CASE_PREFIX=
}

# finish: closes the open case, then ends the scenario, failed when any check failed.
finish() {
    [ -z "$CASE_PREFIX" ] || close_case
    [ "$FAILURES" -eq 0 ] || { echo "$FAILURES check(s) failed"; exit 1; }
}

# The trace of a session and of the programs started in it: processes started, the power
# calls (trace_power_calls), each line headed by its process's id.
SESSION_TRACE=+process,+relay,+pid

# trace_power_calls PREFIX: the relay trace, where WINEDEBUG asks for it, covers only the
# three calls that ask Windows for a restart or power-off. Set while no session runs.
trace_power_calls() {
    printf '\n[Software\\\\Wine\\\\Debug]\n"RelayInclude"="%s"\n' \
        'advapi32.InitiateShutdownW;advapi32.InitiateSystemShutdownExW;user32.ExitWindowsEx' >>"$1/user.reg"
}

# session [FAKETIME value]: starts the prefix's session with its trace in SESSION_LOG, its
# Windows processes on a faked clock when a value is given. The server keeps the true
# clock and file times stay true (Wine's quirks, in CONTRIBUTING, say why).
session() {
    local fake=(env WINEDEBUG=$SESSION_TRACE) rc=0
    [ $# -eq 0 ] || fake+=("LD_PRELOAD=$FAKETIME_LIB" "FAKETIME=$1" NO_FAKE_STAT=1)
    : >"$SESSION_LOG"
    start_session "$WINEPREFIX" "${fake[@]}" || rc=$?
    # The clock library shares the fake start time through a semaphore and a memory block
    # named after the session's first process; no process removes them, end_session does.
    [ $# -eq 0 ] || SESSION_LEFTOVERS+=" /dev/shm/sem.faketime_sem_$BOOT_PID /dev/shm/faketime_shm_$BOOT_PID"
    # A power request made while the session starts (a service at its first tick) ends
    # every process of the session, this start too: what follows checks what happened.
    [ "$rc" -eq 0 ] || echo "  (the session's start ended with $rc)"
}

setting_path() { echo "$WINEPREFIX/drive_c/NuvexKV/shutdownafter.nkv"; }
# Marks the setting file hidden and read-only, as any user who may write it can. Wine keeps
# hidden and system in the file's user.DOSATTRIB attribute, read-only as its mode.
mark_setting_file() {
    chmod a-w "$(setting_path)"
    python3 -c 'import os, sys; os.setxattr(sys.argv[1], "user.DOSATTRIB", b"0x2")' "$(setting_path)"
}
# The setting file is neither hidden, system nor read-only.
setting_unmarked() {
    python3 -c 'import os, stat, sys
try: marks = int(os.getxattr(sys.argv[1], "user.DOSATTRIB"), 16) & 6
except OSError: marks = 0
sys.exit(marks != 0 or not os.stat(sys.argv[1]).st_mode & stat.S_IWUSR)' "$(setting_path)"
}
# The setting file's bytes, read without touching its access time (see setting_read).
setting_bytes() { dd if="$(setting_path)" iflag=noatime status=none 2>/dev/null; }
# setting_holds BYTES: the setting file holds exactly BYTES, nothing after them.
setting_holds() { [ -f "$(setting_path)" ] && cmp -s <(setting_bytes) <(printf '%s' "$1"); }
# The setting file has been read since it was last written: its access time, which the
# scenarios' own reads leave alone, is later than its modification time (the kernel
# updates it on the first read after a write, on a file system mounted relatime or
# strictatime). Where reads leave no trace (noatime), the scenario stops and says so.
setting_read() {
    [ -n "${READS_RECORDED:-}" ] || reads_recorded ||
        stop "the file system of $WINEPREFIX records no reads (noatime): the service's reading cannot be seen"
    local times
    times=$(stat -c '%.9X %.9Y' "$(setting_path)" 2>/dev/null) &&
        awk '{ exit !($1 > $2) }' <<<"$times"
}
reads_recorded() {
    local probe=$WINEPREFIX/read-probe
    printf x >"$probe" && touch -a -d '2000-01-01' "$probe" && cat "$probe" >/dev/null
    [ "$(stat -c %X "$probe")" -gt 946771200 ] && READS_RECORDED=1
}
# When the setting file was last read (seconds since 1970), and how long before its last
# writing a time of that kind was: a writing sets the access time too.
setting_read_at() { stat -c '%.9X' "$(setting_path)"; }
written_seconds_after() { stat -c '%.9Y' "$(setting_path)" | awk -v t="$1" '{ printf "%.1f", $1 - t }'; }
# at_least MIN VALUE: the decimal VALUE is MIN or more.
at_least() { awk -v min="$1" -v v="$2" 'BEGIN { exit !(v >= min) }'; }

# program_image NAME: the loader, Wine's 32- or 64-bit one, of the process of the program
# NAME in this prefix; false when none runs.
program_image() {
    local id
    for id in $(prefix_processes); do
        case $(tr '\0' ' ' <"/proc/$id/cmdline" 2>/dev/null) in
            *"\\$1"*) readlink "/proc/$id/exe"; return 0 ;;
        esac
    done
    return 1
}
program_running() { program_image "$1" >/dev/null; }
# runs_as_built NAME: the program runs in a process of the build's architecture.
runs_as_built() { [ "$(program_image "$1")" = "$WINE" ]; }

# Power requests, from the session's trace. The desktop programs ask as the interactive
# user (ExitWindowsEx), and Wine ends every process of the session for it, running
# wineboot.exe --kill for a restart and --kill --shutdown for a power-off. The service asks
# as a caller that is not (InitiateShutdownW), which Wine takes and leaves undone: what
# shows is the call itself, in the relay trace of the three power calls (trace_power_calls),
# each line headed by the id of the process that made it.
restart_requested() { grep -a 'wineboot.exe --kill' "$SESSION_LOG" | grep -avq -- '--shutdown'; }
# service_requested restart|power_off: a process of kelvaro.exe asked for a forced, planned
# restart (flags 7) or power-off (b) of this machine, at once and with no message:
# InitiateShutdownW(NULL, NULL, 0, flags, SHTDN_REASON_FLAG_PLANNED), every session ended by
# force. (A 64-bit trace shows a DWORD's whole register: only its low 32 bits count.)
service_requested() {
    local flags=7 id
    [ "$1" = restart ] || flags=b
    for id in $(grep -a 'NtCreateUserProcess .*kelvaro\.exe" pid ' "$SESSION_LOG" |
                sed 's/.* pid \([0-9a-f]*\) .*/\1/'); do
        grep -aqE "^$id:[0-9a-f]+:Call advapi32\.InitiateShutdownW\(0+,0+,[0-9a-f]*00000000,[0-9a-f]*0000000$flags,[0-9a-f]*80000000\)" \
            "$SESSION_LOG" && return 0
    done
    return 1
}
# How many power requests were made: calls of any of the three, and the ends Wine made.
power_requests() {
    grep -acE 'Call (advapi32\.InitiateShutdownW|advapi32\.InitiateSystemShutdownExW|user32\.ExitWindowsEx)\(|wineboot\.exe --kill' \
        "$SESSION_LOG" || true
}
power_requested() { [ "$(power_requests)" -gt 0 ]; }
power_off_requested() { service_requested power_off || grep -aq 'wineboot.exe --kill --shutdown' "$SESSION_LOG"; }

# now_ms: the time in milliseconds, from bash's own clock (SECONDS counts whole seconds).
now_ms() { local now=${EPOCHREALTIME/[.,]/}; echo $((now / 1000)); }

# wait_for SECONDS COMMAND...: true as soon as the command succeeds. When it never does,
# WAITED says what was waited for and how long.
WAITED=
wait_for() {
    local seconds=$1; shift
    local until=$(($(now_ms) + seconds * 1000))
    while [ "$(now_ms)" -lt "$until" ]; do
        "$@" && return 0
        sleep 0.1
    done
    "$@" && return 0
    WAITED="waited $seconds s for: $*"
    return 1
}

# holds_for SECONDS COMMAND...: the command succeeds all the time, checked every tenth of
# a second; for what must not change while the programs run on.
holds_for() {
    local seconds=$1; shift
    local until=$(($(now_ms) + seconds * 1000))
    while [ "$(now_ms)" -lt "$until" ]; do
        "$@" || { WAITED="it stopped holding within $seconds s: $*"; return 1; }
        sleep 0.1
    done
    "$@"
}

not() { ! "$@"; }

# What a scenario that fails saw: the setting file's bytes, the service's state, the
# Wine processes of the prefix, the windows on the display and the end of Wine's trace.
# Called as "describe_workstation || true", so that nothing in it can end the scenario.
describe_workstation() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    local file id
    file=$(setting_path)
    if [ -f "$file" ]; then
        echo "    the setting file holds: $(setting_bytes | od -An -c | tr -s ' \n' ' ' | cut -c1-120)"
    else
        echo "    there is no setting file"
    fi
    if [ -n "$(prefix_processes)" ]; then
        echo "    the service: $(service_query | sed -n 's/^ *STATE *: *//p' | head -n1)"
        echo "    Wine processes of the prefix:"
        for id in $(prefix_processes); do
            echo "      $(tr '\0' ' ' <"/proc/$id/cmdline" 2>/dev/null | cut -c1-120)"
        done
    else
        echo "    no Wine process of the prefix runs"
    fi
    [ -z "${DISPLAY:-}" ] || echo "    our windows on the display: $(our_windows | tr '\n' ' ')"
    echo "    the last lines of Wine's trace ($SESSION_LOG):"
    tail -n 8 "$SESSION_LOG" 2>/dev/null | cut -c1-200 | sed 's/^/      /'
}

check() {
    local what=$1; shift
    WAITED=
    if "$@"; then
        echo "  ok: $what"
    else
        echo "  FAILED: $what"
        [ -z "$WAITED" ] || echo "    $WAITED"
        describe_workstation || true
        FAILURES=$((FAILURES + 1))
    fi
}

# stop WHY: the scenario cannot go on; says why and what it saw, then ends.
stop() {
    trap - ERR
    echo "  STOPPED: $*"
    describe_workstation || true
    exit 1
}
# A command that fails outside a check ends the scenario, and says so. (Inside a command
# substitution a failure is the substitution's own business.)
trap 'rc=$?; [ "$BASH_SUBSHELL" -gt 0 ] ||
      stop "\"$BASH_COMMAND\" ended with $rc (line $LINENO of ${BASH_SOURCE[0]##*/})"' ERR

# Every scenario has a virtual display of its own, unless it is given one (try-it's road
# shows on the developer's), and ends its session and display when it ends.
own_display

# ---- The package and the processes of a session -------------------------------------

# msiexec ARGS...: Wine's msiexec, silent, with a verbose log in MSI_LOG and the process
# trace (the custom actions' programs) in MSI_TRACE; exit code in MSI_RC.
msi_runs=0
msiexec() {
    msi_runs=$((msi_runs + 1))
    MSI_LOG=$WINEPREFIX/msiexec-$msi_runs.log
    MSI_TRACE=$WINEPREFIX/msiexec-$msi_runs.trace
    MSI_RC=0
    WINEDEBUG=+process bounded 180 "$WINE64" msiexec "$@" /qn /l*v "$(winpath "$MSI_LOG")" \
        </dev/null >/dev/null 2>"$MSI_TRACE" || MSI_RC=$?
}

# install [PROPERTY=VALUE...]: installs the build's package, in the running session.
install() {
    msiexec /i "$(winpath "$MSI")" "$@"
    check "msiexec /i${*:+ $*} /qn ends with 0 (got $MSI_RC)" test "$MSI_RC" -eq 0
}

uninstall() {
    msiexec /x "$(winpath "${1:-$MSI}")"
    check "msiexec /x /qn ends with 0 (got $MSI_RC)" test "$MSI_RC" -eq 0
}

# log_property NAME: the value msiexec gave the property, from the last verbose log.
log_property() { grep -a "^Property(S): $1 = " "$MSI_LOG" | tail -n 1 | sed "s/^[^=]*= //" | tr -d '\r'; }
# setup_said TEXT: the setup DLL said TEXT in the last verbose log.
setup_said() { grep -aqF "Nuvex Kelvaro setup: $1" "$MSI_LOG"; }
# process_started NAME: a process of the program NAME (a pattern) was started in the
# session, by Wine's process trace.
process_started() { grep -a 'NtCreateUserProcess' "$SESSION_LOG" | grep -aq "$1"; }

# ---- Desktop programs: their prompt on a display, answered as a person would --------

BOX_NAME='^Nuvex Kelvaro \(Free Version\)$'
# The prompt reader of the build, reached through Wine's drive Z: from any prefix.
READ_PROMPT=$(winpath "$KV_BUILD/tests/read_prompt.exe")

# our_windows: the prompts and Wine tray windows on the display.
our_windows() {
    { xdotool search --onlyvisible --name "$BOX_NAME"
      xdotool search --onlyvisible --name '^Wine System Tray'; } 2>/dev/null || true
}
display_clear() { [ -z "$(our_windows)" ]; }

# start_program FOLDER PROGRAM: PROGRAM (C:\kv\PROGRAM for a bare name) in the background,
# its current directory C:\FOLDER. A forced restart shows in the process trace of the
# asking process, so that trace goes to the session log too. Sets PROGRAM_PID.
start_program() {
    local program=$2
    [[ $program == *\\* ]] || program="C:\\kv\\$program"
    (cd "$WINEPREFIX/drive_c/$1" &&
        WINEDEBUG=$SESSION_TRACE exec timeout -k 5 300 "$WINE" "$program" \
            </dev/null >/dev/null 2>>"$SESSION_LOG") &
    PROGRAM_PID=$!
}

prompt_shown() { xdotool search --onlyvisible --name "$BOX_NAME" >/dev/null 2>&1; }

# Waits for the prompt and keeps its text in prompt.seen.
read_prompt() {
    bounded 30 "$WINE" "$READ_PROMPT" 20 >"$WINEPREFIX/prompt.seen" || true
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

# answer BUTTON: clicks the prompt's yes, no or cancel button with the mouse, as a person
# would. (A key pressed at once after a click that activates the box can reach the window
# that had the focus before: Wine routes a key when it comes, the activation when the
# box's thread gets to the click.)
answer() {
    local where
    where=$(bounded 20 "$WINE" "$READ_PROMPT" 10 "$1" | tr -d '\r') || where=
    [ -n "$where" ] || { echo "  no prompt to answer $1"; return 0; }
    # shellcheck disable=SC2086 # "x y"
    xdotool mousemove $where click 1
}
