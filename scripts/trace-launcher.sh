#!/usr/bin/env bash
# Where the launcher's start-to-prompt time goes, beside the bare program that only shows
# the same prompt: both are started in turn by prompt_watch.exe, as in bench-launcher.sh,
# under a timestamped Wine trace, and each run is cut into phases at trace lines that both
# programs pass. A measurement, not a test.
#
#   scripts/trace-launcher.sh [BUILD_FOLDER] [RUNS]    (defaults: build/win64, 12 of each)
#
# Phases, in ms (exe = the program file mapped; display = the first line of Wine's X11
# driver, i.e. the first call that needs the screen; X window = the first top-level window
# that Wine gives an X window):
#   KVButton.exe     start-up (to display) | icons and cursors (to its class) |
#                    main window (to its X window) | on to the box | box to mapped
#   bare_prompt.exe  start-up (to display) | cursors (to the box) |
#                    box (to its X window) | box to mapped
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${2:-12}
. scripts/bench-lib.sh
launcher_bench_setup trace "${1:-build/win64}"

watch_prompts 2 >/dev/null # the session's first boxes are slow
trace=$prefix/trace.txt
WINEDEBUG=+timestamp,+loaddll,+dialog,+x11drv,+class watch_prompts "$runs" >"$prefix/times.txt" 2>"$trace"

awk -F: '
/build_module Loaded L"C:\\\\bench\\\\(KVButton|bare_prompt)/ {
    program[$2] = $0 ~ /KVButton/ ? "KVButton.exe" : "bare_prompt.exe"; exe[$2] = $1; next }
!($2 in program) { next }
/:x11drv:/ && !($2 in display) { display[$2] = $1 }
/RegisterClassExWOW name=L"KVBUTTON"/ { class[$2] = $1 }
/create_whole_window/ && !($2 in xwindow) { xwindow[$2] = $1 }
/DIALOG_CreateIndirect/ && !($2 in box) { box[$2] = $1 }
/map_window win/ && ($2 in box) && !($2 in mapped) { mapped[$2] = $1 }
function ms(from, to) { return (to - from) * 1000 }
END {
    for (t in mapped) {
        if (program[t] == "KVButton.exe")
            printf "%-16s %4.0f | %4.0f | %4.0f | %4.0f | %4.0f  = %4.0f\n", program[t],
                ms(exe[t], display[t]), ms(display[t], class[t]), ms(class[t], xwindow[t]),
                ms(xwindow[t], box[t]), ms(box[t], mapped[t]), ms(exe[t], mapped[t])
        else
            printf "%-16s %4.0f | %4.0f | %4.0f | %4.0f  = %4.0f\n", program[t],
                ms(exe[t], display[t]), ms(display[t], box[t]), ms(box[t], xwindow[t]),
                ms(xwindow[t], mapped[t]), ms(exe[t], mapped[t])
    }
}' "$trace" | sort -t= -k2,2n | sort -s -k1,1
echo "the trace: $trace"
