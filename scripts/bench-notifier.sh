#!/usr/bin/env bash
# What kvnotify.exe costs while it idles, against bare_timers.exe, a program that runs
# nothing but the same two timers (1000 and 5000 ms) on a hidden window. In one Wine
# session (a private prefix under the build folder, a virtual display of its own) they
# idle side by side over the same SECONDS:
# - untraced, the notifier and two copies of the bare program (how far two copies of one
#   program differ shows the noise): wakeups (voluntary context switches) and on-CPU
#   time (schedstat, ns) of the threads of each one's Linux process, read from /proc at
#   the start and the end;
# - a pair traced with WINEDEBUG=+message, whose trace names every message that reached
#   the program in that time.
# Wine's server does part of the work of every timer; its time is no program's own.
# A measurement, not a test.
#
#   scripts/bench-notifier.sh [BUILD_FOLDER] [SECONDS]    (defaults: build/win64, 60)
set -euo pipefail
. "$(dirname "$0")/wine-env.sh" # first: it may run this again, as it was called
cd "$(dirname "$0")/.."
seconds=${2:-60}
. scripts/bench-lib.sh
bench_setup notifier "${1:-build/win64}" notifier/kvnotify.exe tests/bare_timers.exe
mkdir -p "$prefix/drive_c/NuvexKV" # where the notifier's first tick clears the setting

declare -A pid program
# start NAME PROGRAM [CHANNELS]: C:\bench\PROGRAM in the background, Wine's debug output
# in $prefix/NAME.trace; its Linux process (Wine runs each program in its own) in pid[NAME].
start() {
    WINEDEBUG=${3:--all} "$WINE" "C:\\bench\\$2" </dev/null >/dev/null 2>"$prefix/$1.trace" &
    pid[$1]=$! program[$1]=$2
}

# The first window of the session starts Wine's desktop process, which inherits that
# program's debug channels: an untraced program goes first, and the rest once it is up.
start notifier kvnotify.exe
for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^Wine System Tray' >/dev/null 2>&1 && break
    sleep 0.1
done
start bare bare_timers.exe
start bare2 bare_timers.exe
start traced_notifier kvnotify.exe +message
start traced_bare bare_timers.exe +message
sleep 5 # start-up and the notifier's first clearing tick are over

measured=(notifier bare bare2)
for name in "${measured[@]}"; do
    [ "$(cat "/proc/${pid[$name]}/comm" 2>/dev/null)" = "${program[$name]}" ] ||
        { echo "${program[$name]} did not start or did not keep running" \
            "(process ${pid[$name]}: $(cat "/proc/${pid[$name]}/comm" 2>&1))" >&2; exit 1; }
done

# sample PID: "<voluntary context switches> <ns on a CPU>", summed over its threads.
sample() {
    local task switches=0 ns=0
    for task in /proc/"$1"/task/*; do
        switches=$((switches + $(awk '/^voluntary_ctxt_switches/ { print $2 }' "$task/status")))
        ns=$((ns + $(cut -d' ' -f1 "$task/schedstat")))
    done
    echo "$switches $ns"
}

declare -A before trace_from
for name in "${measured[@]}"; do before[$name]=$(sample "${pid[$name]}"); done
for name in traced_notifier traced_bare; do trace_from[$name]=$(stat -c %s "$prefix/$name.trace"); done
echo "idling for $seconds s (display $DISPLAY)"
sleep "$seconds"
results=$prefix/idle.txt
for name in "${measured[@]}"; do
    echo "$name ${before[$name]} $(sample "${pid[$name]}")"
done >"$results"

# census NAME: the messages in its trace since the idling began that reached the program
# from its message loop or from outside (not those a window sends itself while handling
# one), counted by name, wParam for timers, and how they came.
census() {
    echo "  ${program[$1]}"
    tail -c +$((trace_from[$1] + 1)) "$prefix/$1.trace" | awk '
        /:spy_enter_message \(/ {
            for (i = 1; i < NF; i++) if ($i ~ /^\[[0-9a-f]+\]$/) name = $(i + 1)
            wp = ""; for (i = 1; i <= NF; i++) if ($i ~ /^wp=/) wp = $i
            how = /dispatched/ ? "dispatched" : /sent from self/ ? "sent by itself" : "sent to it"
            count[name " " (name == "WM_TIMER" ? wp " " : "") how]++
        }
        END { for (k in count) printf "    %-40s %5d\n", k, count[k] }' | sort
}

echo
echo "messages in those $seconds s, traced pair (WINEDEBUG=+message):"
census traced_notifier
census traced_bare

echo
awk -v s="$seconds" '
    { wakeups[$1] = $4 - $2; cpu[$1] = ($5 - $3) / 1e6 }
    END {
        # The 5000 ms ticks fall on 1000 ms ones: 72 ticks a minute come at 60 moments.
        printf "idle %d s, untraced           wakeups    CPU ms   (ticks due: %d, at %d moments)\n",
            s, s + int(s / 5), s
        printf "%-28s %9d %9.2f\n", "kvnotify.exe", wakeups["notifier"], cpu["notifier"]
        printf "%-28s %9d %9.2f\n", "bare_timers.exe", wakeups["bare"], cpu["bare"]
        printf "%-28s %9d %9.2f\n", "bare_timers.exe, 2nd copy", wakeups["bare2"], cpu["bare2"]
        mean = (cpu["bare"] + cpu["bare2"]) / 2
        printf "%-28s %9.3f %9.3f\n", "kvnotify / bare (mean)",
            wakeups["notifier"] * 2 / (wakeups["bare"] + wakeups["bare2"]), cpu["notifier"] / mean
        printf "%-28s %9.3f %9.3f\n", "bare, 2nd copy / 1st", wakeups["bare2"] / wakeups["bare"],
            cpu["bare2"] / cpu["bare"]
        spread = cpu["bare2"] / cpu["bare"]
        printf "CPU time within 5 %% of the bare program: %s (its two copies differ by %.1f %%)\n",
            cpu["notifier"] <= 1.05 * mean ? "yes" : "no", 100 * (spread > 1 ? spread - 1 : 1 / spread - 1)
    }' "$results"
echo "every number: $results; traces: $prefix/traced_*.trace"
