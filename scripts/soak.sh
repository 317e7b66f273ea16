#!/usr/bin/env bash
# Runs the whole suite (scripts/test.sh) several times in a row, each run on a template
# prefix made anew, as CI's clean clone does, and prints per test how often it failed.
#
#   scripts/soak.sh [RUNS] [BUSY]     (defaults 5 and 0)
#
# BUSY processes that only spin keep the CPUs loaded during every run. The logs of the
# runs stay in build/soak/, the table in build/soak/table.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
busy=${2:-0}
logs=$PWD/build/soak
rm -rf "$logs"
mkdir -p "$logs"

spinners=()
end_spinners() { [ ${#spinners[@]} -eq 0 ] || kill "${spinners[@]}" 2>/dev/null || true; }
trap end_spinners EXIT
for _ in $(seq "$busy"); do
    yes >/dev/null &
    spinners+=($!)
done

for run in $(seq "$runs"); do
    start=$SECONDS
    rm -rf build/wine-template
    rc=0
    scripts/test.sh >"$logs/run-$run.log" 2>&1 || rc=$?
    echo "run $run of $runs ($busy busy): exit $rc, $((SECONDS - start)) s," \
         "$(grep -a 'tests passed' "$logs/run-$run.log" || echo 'no ctest summary')"
done

# ctest prints one line per test: "12/83 Test #12: Name ....   Passed    1.23 sec"; a test
# skipped (the 32-bit build's, where 32-bit code cannot run) is no failure.
grep -ah '^ *[0-9]*/[0-9]* Test *#' "$logs"/run-*.log |
    sed -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*(Passed|Skipped|Failed|Timeout|Not Run|Exception).*/\1 \2/' |
    awk '{ ran[$1]++; failed[$1] += ($2 != "Passed" && $2 != "Skipped") }
         END { for (t in ran) printf "%-72s %d/%d\n", t, failed[t], ran[t] }' |
    sort >"$logs/table.txt"
failed=$(awk '{ split($2, f, "/"); n += f[1] } END { print n + 0 }' "$logs/table.txt")
{
    printf '%-72s %s\n' test failed/ran
    cat "$logs/table.txt"
    echo "$failed failure(s) in $runs run(s) of $(wc -l <"$logs/table.txt") tests, $busy busy process(es)"
} | tee "$logs/table.txt.new"
mv "$logs/table.txt.new" "$logs/table.txt"
[ "$failed" -eq 0 ]
