# Sourced by the benchmarks: a fresh prefix of their own under the build folder, copied
# from its template, with the programs to measure in C:\bench; a virtual display and a
# Wine session of their own, both ended on exit.
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

# bench_setup NAME BUILD_FOLDER PROGRAM...: sets build, WINE (the loader of the build's
# programs, Wine's 32-bit one for a 32-bit build) and prefix ($build/bench-NAME) with each
# PROGRAM (a path in the build folder) in C:\bench, and starts the session.
bench_setup() {
    local name=$1 program
    build=$(cd "$2" && pwd)
    shift 2
    for program; do
        [ -f "$build/$program" ] || { echo "missing $build/$program (build first: scripts/build.sh)" >&2; exit 1; }
    done
    WINE=$(loader_of "$build/$1")
    prefix=$build/bench-$name
    fresh_prefix "$prefix"
    mkdir -p "$prefix/drive_c/bench"
    for program; do cp "$build/$program" "$prefix/drive_c/bench/"; done
    own_display
    start_session "$prefix"
}

# launcher_bench_setup NAME BUILD_FOLDER: the launcher, the bare prompt and the watcher in
# C:\bench, and C:\bench\start, with no launcher configuration, for both to start in:
# both then offer one hour.
launcher_bench_setup() {
    bench_setup "$1" "$2" launcher/KVButton.exe tests/bare_prompt.exe tests/prompt_watch.exe
    mkdir -p "$prefix/drive_c/bench/start"
}

# watch_prompts RUNS: prompt_watch.exe starts the two programs in turn RUNS times each and
# prints each run's start-to-prompt time.
watch_prompts() {
    "$WINE" 'C:\bench\prompt_watch.exe' "$1" 'C:\bench\start' 'C:\bench\KVButton.exe' \
        'C:\bench\bare_prompt.exe'
}
