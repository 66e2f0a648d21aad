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
# for x64, and for x86 where the 32-bit editor exists and 32-bit programs run
# natively. Without an editor (QUIBLET_REAL_EDITOR, or ../shared/notepad++/
# beside the checkout) it says so in one line, and the rest decides.
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

scripts/build.sh
# A test program that Wine now and then fails to start when two start at
# once (it ends at once, having printed nothing) gets one more run; a test
# that fails twice fails the run.
run_ctest() { xvfb-run -a -s "-screen 0 1280x1024x24" ctest --repeat until-pass:2 "$@"; }
status=0
# Where cmake/wine-run notes the test programs it started again after a hang
# under the emulator.
hangs=build/x86/wineprefix-emulated.hangs
rm -f "$hangs"

echo "== arm64: built and checked, not run"
scripts/check-dll.sh llvm-objdump-14 build/arm64/bin/Quiblet.dll arm64 build/x64/bin/Quiblet.dll || status=1

if [ $x64_only = 0 ]; then
    route=$(cmake/wine-run --x86-route) || true
    if [ "$route" = emulated ]; then
        # CPU-bound tests take 3-5 times as long under the emulator; hangs
        # are caught sooner by cmake/wine-run.
        echo "== tests: x86 (emulated)"
        run_ctest --preset x86 --timeout 900 -LE realeditor "$@" || status=1
    elif [ "$route" = native ]; then
        echo "== tests: x86 (native)"
        run_ctest --preset x86 -LE realeditor "$@" || status=1
    else
        echo "== tests: x86 NOT RUN: ${route#none: }"
        # The route check alone, so that ctest's summary says it did not run.
        run_ctest --test-dir build/x86/tests/route || true
        status=1
    fi
fi

echo "== tests: x64"
run_ctest --preset x64 -LE realeditor "$@" || status=1

if [ $x64_only = 0 ] && [ "$route" = native ] && [ $# = 0 ]; then
    if QUIBLET_EMULATE_X86=1 cmake/wine-run --x86-route >/dev/null; then
        echo "== tests: x86 smoke part through the emulator (QUIBLET_EMULATE_X86=1)"
        QUIBLET_EMULATE_X86=1 run_ctest --preset x86 -R "$smoke" || status=1
    else
        echo "== tests: x86 smoke part through the emulator: not run (no qemu-i386 8 or later;" \
             "scripts/install-emulator.sh --always installs it)"
    fi
fi
# The real editor: each of its suites runs on a virtual display of its own.
real_archs=x64
if [ $x64_only = 0 ]; then real_archs="x86 x64"; fi
missing=0
for arch in $real_archs; do
    where=$(tests/realeditor/stage-editor.sh --find . "$arch") && found=1 || found=0
    if [ $found = 0 ]; then
        if [ "$where" = "NOT RUN (set QUIBLET_REAL_EDITOR)" ]; then
            missing=1
        else
            echo "== real editor: $arch ${where}"
        fi
        continue
    fi
    echo "== real editor: $arch ($where)"
    started=$(date +%s)
    ctest --preset "$arch" -L realeditor "$@" || status=1
    echo "== real editor: $arch took $(($(date +%s) - started)) s"
done
if [ $missing = 1 ]; then echo "real editor: NOT RUN (set QUIBLET_REAL_EDITOR)"; fi

if [ -s "$hangs" ]; then
    echo "== x86 test programs that hung under the emulator (each stopped and started once more):"
    cat "$hangs"
fi
if [ $x64_only = 1 ]; then
    echo "== tests: x86 not run (--x64-only)"
elif [ "${route%%:*}" = none ]; then
    echo "== tests: x86 NOT RUN: ${route#none: }"
fi
exit $status
