#!/usr/bin/env bash
# Builds (if needed) and runs the whole test suite for x86 and x64 under
# Wine, each half on virtual displays of its own. Extra arguments go to ctest (for example
# -R Settings to run some tests only). The arm64 DLL and test programs are
# built and the DLL checked, but nothing here can run them.
#   scripts/test.sh [--x64-only] [ctest arguments...]
#
# 32-bit test programs run natively where this machine runs 32-bit programs,
# otherwise under the emulator (see cmake/wine-run). Where they run natively
# and the emulator is installed, a smoke part of the x86 suite also runs
# through the emulator (QUIBLET_EMULATE_X86=1), so that route keeps working.
# Where 32-bit programs cannot run at all, the x86 half is reported NOT RUN
# and the run fails, unless --x64-only asked for the x64 half alone.
#
# Then the real-editor part: Quiblet in the real Notepad++ (tests/realeditor),
# for x64 and x86; where 32-bit programs run only under the emulator, the x86
# editor runs through it too, all its groups or (QUIBLET_REAL_EDITOR_X86=smoke)
# the smoke group alone. Without an editor (QUIBLET_REAL_EDITOR, or
# ../shared/notepad++/ beside the checkout) it says so in one line, and the
# rest decides. Last, the packaging check. At the end, how long each part
# took.
#
# The two halves run side by side: the x86 half (its suite, then its real
# editor) in the background, its output kept and shown once it is done; the
# x64 half (its suite, its real editor, then packaging) in front. Test
# programs mostly wait for windows and files, so on 2 cores the halves
# together take little more than the longer of them.
set -euo pipefail
cd "$(dirname "$0")/.."
x64_only=0
if [ "${1:-}" = --x64-only ]; then
    x64_only=1
    shift
fi
# The emulated smoke part: the route check, a unit test, and end-to-end
# cases that start the sandboxed editor copy, press keys, answer a message
# box, drive a dialog and time the bounded wait for a new document.
smoke='^(X86Route\.|NoteExtension\.|NotesTest\.CtrlShiftN|OpenNotes\.LastNoteThatIsGone|OptionsDialog\.OpeningShows|NotesWithIdleFileNew\.)'

# Each part's name and seconds (one "name|seconds" a line, written by both
# halves), and what the real-editor parts said, for the summary at the end.
started_all=$(date +%s)
mkdir -p build
times=build/test-times.txt said=build/test-said.txt x86_log=build/test-x86-half.log
: >"$times"
: >"$said"
timed() {
    local name=$1 started status=0
    shift
    started=$(date +%s)
    "$@" || status=$?
    echo "$name|$(($(date +%s) - started))" >>"$times"
    return $status
}
minutes() { printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); }

timed "build (x86, x64, arm64)" scripts/build.sh
# cmake/wine-run stops a test program that stalls (printed its result and
# ends no more, or hangs as it starts under the emulator) and starts one
# that failed to start once more. A test that fails is run once more: a few
# end-to-end cases time their windows and boxes, and on a machine busy with
# other work they can miss a moment they wait for; a test that fails twice
# fails the run.
run_ctest() { cmake/on-virtual-display 1280x1024x24 ctest --repeat until-pass:2 "$@"; }
status=0
# Where cmake/wine-run notes the test programs it stopped or started again.
hang_logs=(build/x86/wineprefix.hangs build/x86/wineprefix-emulated.hangs build/x64/wineprefix.hangs)
rm -f "${hang_logs[@]}"

echo "== arm64: built and checked, not run"
scripts/check-dll.sh llvm-objdump-14 build/arm64/bin/Quiblet.dll arm64 build/x64/bin/Quiblet.dll || status=1

# The real editor for one architecture: each of its suites runs on a virtual
# display of its own. Status 3: no editor was found.
real_editor() {
    local arch=$1 where groups found
    shift
    where=$(tests/realeditor/stage-editor.sh --find . "$arch") && found=1 || found=0
    if [ $found = 0 ]; then
        [ "$where" = "NOT RUN (set QUIBLET_REAL_EDITOR)" ] && return 3
        echo "== real editor: $arch ${where}"
        echo "real editor $arch: ${where}" >>"$said"
        return 0
    fi
    groups=$(tests/realeditor/stage-editor.sh --groups . "$arch")
    echo "== real editor: $arch ($where): $groups"
    echo "real editor $arch: $groups" >>"$said"
    # Its displays apart from its half's suite's, whose last may still close.
    export QUIBLET_DISPLAY_FROM=$((${QUIBLET_DISPLAY_FROM:-99} + 50))
    # A group that fails is run once more, as the suites' tests are.
    if [ "${groups%% *}" = smoke ]; then
        timed "real editor $arch (smoke group)" ctest --preset "$arch" --repeat until-pass:2 -L realeditor-smoke "$@"
    else
        timed "real editor $arch" ctest --preset "$arch" --repeat until-pass:2 -L realeditor "$@"
    fi
}

# The x86 half: its suite by its route, the emulated smoke part where the
# route is native, then its real editor.
x86_half() {
    local status=0 real=0
    if [ "$route" = emulated ]; then
        # CPU-bound tests take 3-5 times as long under the emulator.
        echo "== tests: x86 (emulated)"
        timed "x86 suite (emulated)" run_ctest --preset x86 --timeout 600 -LE 'realeditor|package' "$@" || status=1
    elif [ "$route" = native ]; then
        echo "== tests: x86 (native)"
        timed "x86 suite (native)" run_ctest --preset x86 -LE 'realeditor|package' "$@" || status=1
        if [ $# = 0 ] && QUIBLET_EMULATE_X86=1 cmake/wine-run --x86-route >/dev/null; then
            echo "== tests: x86 smoke part through the emulator (QUIBLET_EMULATE_X86=1)"
            QUIBLET_EMULATE_X86=1 timed "x86 smoke part (emulated)" run_ctest --preset x86 -R "$smoke" || status=1
        elif [ $# = 0 ]; then
            echo "== tests: x86 smoke part through the emulator: not run (no qemu-i386 8 or later;" \
                 "scripts/install-emulator.sh --always installs it)"
        fi
    else
        echo "== tests: x86 NOT RUN: ${route#none: }"
        # The route check alone, so that ctest's summary says it did not run.
        run_ctest --test-dir build/x86/tests/route || true
        return 1
    fi
    real_editor x86 "$@" || real=$?
    [ $real = 3 ] && return $((status == 0 ? 3 : 1))
    [ $real = 0 ] || status=1
    return $status
}

route=
x86_pid=
if [ $x64_only = 0 ]; then
    route=$(cmake/wine-run --x86-route) || true
    # Display numbers from 300: apart from the x64 half's (from 99).
    QUIBLET_DISPLAY_FROM=300 x86_half "$@" >"$x86_log" 2>&1 &
    x86_pid=$!
    echo "== tests: the x86 half runs beside the x64 half; its output follows once it is done"
fi

echo "== tests: x64"
timed "x64 suite" run_ctest --preset x64 -LE 'realeditor|package' "$@" || status=1
missing=0
real_editor x64 "$@" || { [ $? = 3 ] && missing=1 || status=1; }

echo "== packaging: the release zips checked and built once more elsewhere"
timed "packaging" ctest --preset x86 -L package "$@" || status=1

if [ -n "$x86_pid" ]; then
    x86_status=0
    wait "$x86_pid" || x86_status=$?
    echo "== the x86 half, which ran beside the x64 half:"
    cat "$x86_log"
    if [ $x86_status = 3 ]; then missing=1; elif [ $x86_status != 0 ]; then status=1; fi
fi
if [ $missing = 1 ]; then echo "real editor: NOT RUN (set QUIBLET_REAL_EDITOR)"; fi

for log in "${hang_logs[@]}"; do
    if [ -s "$log" ]; then
        echo "== test programs that stalled or failed to start, stopped or started once more ($log):"
        cat "$log"
    fi
done
echo "== time per part"
while IFS='|' read -r name seconds; do
    printf '  %-32s %s\n' "$name" "$(minutes "$seconds")"
done <"$times"
printf '  %-32s %s\n' "whole run" "$(minutes $(($(date +%s) - started_all)))"
while read -r line; do echo "== $line"; done <"$said"
if [ $x64_only = 1 ]; then
    echo "== tests: x86 not run (--x64-only)"
elif [ "${route%%:*}" = none ]; then
    echo "== tests: x86 NOT RUN: ${route#none: }"
fi
exit $status
