#!/usr/bin/env bash
# Builds (if needed) and runs the whole test suite for x86 and x64 under
# Wine, on one virtual display. Extra arguments go to ctest (for example
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

# Each part's name and seconds, for the table at the end.
part_names=() part_seconds=()
started_all=$(date +%s)
timed() {
    local name=$1 started status=0
    shift
    started=$(date +%s)
    "$@" || status=$?
    part_names+=("$name")
    part_seconds+=($(($(date +%s) - started)))
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
run_ctest() { xvfb-run -a -s "-screen 0 1280x1024x24" ctest --repeat until-pass:2 "$@"; }
status=0
# Where cmake/wine-run notes the test programs it stopped or started again.
hang_logs=(build/x86/wineprefix.hangs build/x86/wineprefix-emulated.hangs build/x64/wineprefix.hangs)
rm -f "${hang_logs[@]}"

echo "== arm64: built and checked, not run"
scripts/check-dll.sh llvm-objdump-14 build/arm64/bin/Quiblet.dll arm64 build/x64/bin/Quiblet.dll || status=1

route=
if [ $x64_only = 0 ]; then
    route=$(cmake/wine-run --x86-route) || true
    if [ "$route" = emulated ]; then
        # CPU-bound tests take 3-5 times as long under the emulator.
        echo "== tests: x86 (emulated)"
        timed "x86 suite (emulated)" run_ctest --preset x86 --timeout 600 -LE 'realeditor|package' "$@" || status=1
    elif [ "$route" = native ]; then
        echo "== tests: x86 (native)"
        timed "x86 suite (native)" run_ctest --preset x86 -LE 'realeditor|package' "$@" || status=1
    else
        echo "== tests: x86 NOT RUN: ${route#none: }"
        # The route check alone, so that ctest's summary says it did not run.
        run_ctest --test-dir build/x86/tests/route || true
        status=1
    fi
fi

echo "== tests: x64"
timed "x64 suite" run_ctest --preset x64 -LE 'realeditor|package' "$@" || status=1

if [ $x64_only = 0 ] && [ "$route" = native ] && [ $# = 0 ]; then
    if QUIBLET_EMULATE_X86=1 cmake/wine-run --x86-route >/dev/null; then
        echo "== tests: x86 smoke part through the emulator (QUIBLET_EMULATE_X86=1)"
        QUIBLET_EMULATE_X86=1 timed "x86 smoke part (emulated)" run_ctest --preset x86 -R "$smoke" || status=1
    else
        echo "== tests: x86 smoke part through the emulator: not run (no qemu-i386 8 or later;" \
             "scripts/install-emulator.sh --always installs it)"
    fi
fi
# The real editor: each of its suites runs on a virtual display of its own.
real_archs=x64
if [ $x64_only = 0 ]; then real_archs="x86 x64"; fi
missing=0
real_said=()
for arch in $real_archs; do
    where=$(tests/realeditor/stage-editor.sh --find . "$arch") && found=1 || found=0
    if [ $found = 0 ]; then
        if [ "$where" = "NOT RUN (set QUIBLET_REAL_EDITOR)" ]; then
            missing=1
        else
            echo "== real editor: $arch ${where}"
            real_said+=("real editor $arch: ${where}")
        fi
        continue
    fi
    groups=$(tests/realeditor/stage-editor.sh --groups . "$arch")
    echo "== real editor: $arch ($where): $groups"
    real_said+=("real editor $arch: $groups")
    if [ "${groups%% *}" = smoke ]; then
        timed "real editor $arch (smoke group)" ctest --preset "$arch" -L realeditor-smoke "$@" || status=1
    else
        timed "real editor $arch" ctest --preset "$arch" -L realeditor "$@" || status=1
    fi
done
if [ $missing = 1 ]; then echo "real editor: NOT RUN (set QUIBLET_REAL_EDITOR)"; fi

echo "== packaging: the release zips checked and built once more elsewhere"
timed "packaging" ctest --preset x86 -L package "$@" || status=1

for log in "${hang_logs[@]}"; do
    if [ -s "$log" ]; then
        echo "== test programs that stalled or failed to start, stopped or started once more ($log):"
        cat "$log"
    fi
done
echo "== time per part"
for i in "${!part_names[@]}"; do
    printf '  %-32s %s\n' "${part_names[$i]}" "$(minutes "${part_seconds[$i]}")"
done
printf '  %-32s %s\n' "whole run" "$(minutes $(($(date +%s) - started_all)))"
for said in "${real_said[@]}"; do echo "== $said"; done
if [ $x64_only = 1 ]; then
    echo "== tests: x86 not run (--x64-only)"
elif [ "${route%%:*}" = none ]; then
    echo "== tests: x86 NOT RUN: ${route#none: }"
fi
exit $status
