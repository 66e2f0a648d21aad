#!/usr/bin/env bash
# Checks how stage-editor.sh finds the real editor, or says why it cannot
# run: a folder with the editor, a folder of archives, an archive, nothing;
# the 32-bit editor wherever 32-bit programs run, and which groups run.
#   stage-editor-test.sh SOURCE_ROOT
set -uo pipefail
root=$(cd "$1" && pwd)
stage=$root/tests/realeditor/stage-editor.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect NAME WANTED_STATUS WANTED_OUTPUT command...
expect() {
    local name=$1 status=$2 wanted=$3 output got
    shift 3
    output=$("$@" 2>&1) && got=0 || got=$?
    if [ "$got" != "$status" ] || [ "$output" != "$wanted" ]; then
        echo "FAILED: $name: got status $got and \"$output\", expected $status and \"$wanted\""
        failures=$((failures + 1))
    else
        echo "ok: $name"
    fi
}

# A Windows program's first bytes: the PE header at 64, with its machine.
fake_exe() {
    mkdir -p "$(dirname "$1")"
    { printf 'MZ'; head -c 58 /dev/zero; printf '\x40\x00\x00\x00'; printf 'PE\0\0'; printf "$2"; } >"$1"
}

mkdir -p "$work/empty" "$work/archives" "$work/both"
: >"$work/archives/npp64.tar.xz"
: >"$work/both/npp64.tar.xz"
: >"$work/both/npp32.tar.xz"
fake_exe "$work/x64-folder/notepad++.exe" '\x64\x86'
fake_exe "$work/x86-folder/notepad++.exe" '\x4c\x01'

expect "an empty folder" 77 "NOT RUN: $work/empty holds neither notepad++.exe nor npp64.tar.xz" \
    env QUIBLET_REAL_EDITOR="$work/empty" "$stage" --find "$root" x64
expect "a folder of archives, x64" 0 "$work/archives/npp64.tar.xz" \
    env QUIBLET_REAL_EDITOR="$work/archives" "$stage" --find "$root" x64
expect "a folder of archives without the 32-bit one" 77 \
    "NOT RUN: $work/archives holds neither notepad++.exe nor npp32.tar.xz" \
    env QUIBLET_REAL_EDITOR="$work/archives" "$stage" --find "$root" x86
expect "an archive named directly" 0 "$work/archives/npp64.tar.xz" \
    env QUIBLET_REAL_EDITOR="$work/archives/npp64.tar.xz" "$stage" --find "$root" x64
expect "an unpacked 64-bit editor" 0 "$work/x64-folder" \
    env QUIBLET_REAL_EDITOR="$work/x64-folder" "$stage" --find "$root" x64
expect "an unpacked 64-bit editor asked for x86" 77 "NOT RUN: $work/x64-folder/notepad++.exe is not the x86 editor" \
    env QUIBLET_REAL_EDITOR="$work/x64-folder" "$stage" --find "$root" x86

# The 32-bit editor runs where 32-bit programs run, natively or under the
# emulator (forced here, whatever this machine can do); under the emulator
# the smoke group alone, unless all groups are asked for.
route=$("$root/cmake/wine-run" --x86-route 2>/dev/null) || true
if [ "$route" = native ]; then
    expect "the 32-bit editor, 32-bit programs native" 0 "$work/both/npp32.tar.xz" \
        env QUIBLET_REAL_EDITOR="$work/both" "$stage" --find "$root" x86
    expect "the 32-bit editor's groups, 32-bit programs native" 0 "all groups" "$stage" --groups "$root" x86
fi
emulated=$(QUIBLET_EMULATE_X86=1 "$root/cmake/wine-run" --x86-route 2>/dev/null) || true
if [ "$emulated" = emulated ]; then
    expect "the 32-bit editor, 32-bit programs emulated" 0 "$work/both/npp32.tar.xz" \
        env QUIBLET_EMULATE_X86=1 QUIBLET_REAL_EDITOR="$work/both" "$stage" --find "$root" x86
    smoke="smoke group (load, create, auto-save, panel listing and search, today's note, clean exit)"
    expect "the 32-bit editor's groups, emulated" 0 "$smoke" \
        env QUIBLET_EMULATE_X86=1 "$stage" --groups "$root" x86
    expect "the 32-bit editor's groups, emulated, all asked for" 0 "all groups" \
        env QUIBLET_EMULATE_X86=1 QUIBLET_REAL_EDITOR_X86=all "$stage" --groups "$root" x86
    expect "the 64-bit editor's groups" 0 "all groups" env QUIBLET_EMULATE_X86=1 "$stage" --groups "$root" x64
else
    expect "the 32-bit editor, 32-bit programs cannot run" 77 \
        "NOT RUN: 32-bit programs cannot run here (${emulated#none: })" \
        env QUIBLET_EMULATE_X86=1 QUIBLET_REAL_EDITOR="$work/both" "$stage" --find "$root" x86
fi

# No editor anywhere: a checkout with no ../shared beside it.
mkdir -p "$work/checkout/cmake" "$work/checkout/tests/realeditor"
cp "$stage" "$work/checkout/tests/realeditor/"
expect "no editor at all" 77 "NOT RUN (set QUIBLET_REAL_EDITOR)" \
    env -u QUIBLET_REAL_EDITOR "$work/checkout/tests/realeditor/stage-editor.sh" --find "$work/checkout" x64

# Staging without an editor leaves the reason for the tests, and passes.
mkdir -p "$work/build"
expect "staging without an editor" 0 "real editor: NOT RUN (set QUIBLET_REAL_EDITOR)" \
    env -u QUIBLET_REAL_EDITOR "$work/checkout/tests/realeditor/stage-editor.sh" "$work/checkout" "$work/build" x64
if [ "$(cat "$work/build/realeditor/not-run.txt" 2>/dev/null)" != "no editor was found (set QUIBLET_REAL_EDITOR)" ]; then
    echo "FAILED: staging without an editor wrote no reason for the tests"
    failures=$((failures + 1))
fi
[ $failures = 0 ]
