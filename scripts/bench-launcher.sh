#!/usr/bin/env bash
# How fast KVButton.exe puts its prompt on the screen, against bare_prompt.exe, a program
# that does nothing but show the same prompt. In one Wine session (a private prefix under
# the build folder, a virtual display of its own), prompt_watch.exe starts the two in
# turn, times each run from just before it creates the process until the box is visible,
# answers Cancel and waits for the program to end. A measurement, not a test.
#
#   scripts/bench-launcher.sh [BUILD_FOLDER] [RUNS]    (20 runs of each by default)
#
# Without a build folder (or with ""), it measures the 32-bit programs of build/win32, the
# deliverable, where the host can execute 32-bit code, and then the 64-bit ones.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh" # first: it may run this again, as it was called
cd "$(dirname "$0")/.."
runs=${2:-20}
if [ -z "${1:-}" ]; then
    if why=$(scripts/runs-32bit.sh); then
        "$0" build/win32 "$runs"
    else
        echo "The 32-bit launcher is not measured: $why."
    fi
    exec "$0" build/win64 "$runs"
fi
. scripts/bench-lib.sh
launcher_bench_setup launcher "$1"

times=$prefix/times.txt
echo "$runs runs of each, alternating, after one uncounted round (display $DISPLAY)"
watch_prompts "$runs" >"$times"

# summary PROGRAM: "median mean min max" of its runs, in ms.
summary() {
    awk -v p="$1" '$1 == p { print $2 }' "$times" | sort -g | awk '
        { v[NR] = $1; sum += $1 }
        END {
            median = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "%.2f %.2f %.2f %.2f\n", median, sum / NR, v[1], v[NR]
        }'
}

read -r l_median l_mean l_min l_max < <(summary KVButton.exe)
read -r b_median b_mean b_min b_max < <(summary bare_prompt.exe)
echo; echo "$build"
printf 'start-to-prompt time, ms  %9s %9s %9s %9s\n' median mean min max
printf '%-25s %9s %9s %9s %9s\n' KVButton.exe "$l_median" "$l_mean" "$l_min" "$l_max"
printf '%-25s %9s %9s %9s %9s\n' bare_prompt.exe "$b_median" "$b_mean" "$b_min" "$b_max"
awk -v lm="$l_median" -v bm="$b_median" -v la="$l_mean" -v ba="$b_mean" -v li="$l_min" -v bi="$b_min" '
    BEGIN {
        printf "launcher / bare           %9.3f %9.3f %9.3f\n", lm / bm, la / ba, li / bi
        printf "median within 10 %% of the bare program: %s\n", lm <= 1.10 * bm ? "yes" : "no"
    }'
echo "every run: $times"
