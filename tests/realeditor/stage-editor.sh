#!/usr/bin/env bash
# Stages the real Notepad++ and Quiblet's release zip for one build, once
# per test run (ctest runs this before the real-editor tests):
#   stage-editor.sh SOURCE_ROOT BUILD_FOLDER ARCH
#     BUILD_FOLDER/realeditor/editor/   the portable editor, unpacked (again
#                                       only when its archive changed)
#     BUILD_FOLDER/realeditor/plugin/   what the release zip of this build holds
#     BUILD_FOLDER/realeditor/languages/ the editor's language files (german.xml...)
#     BUILD_FOLDER/realeditor/not-run.txt  instead, why the tests cannot run
#   stage-editor.sh --find SOURCE_ROOT ARCH
#     prints where the editor for ARCH is (a folder or an archive), or
#     "NOT RUN: <why>" (exit status 77)
#   stage-editor.sh --groups SOURCE_ROOT ARCH
#     prints which scenario groups run for ARCH: "all groups", or "smoke
#     group (...)" where the 32-bit editor runs under the emulator (unless
#     QUIBLET_REAL_EDITOR_X86=all asks for all of them there too)
#
# Where the editor is: QUIBLET_REAL_EDITOR (a folder holding notepad++.exe,
# a folder holding npp64.tar.xz / npp32.tar.xz, or one of those archives),
# else ../shared/notepad++/ beside the checkout (for a git worktree, also
# beside its main checkout). The 32-bit editor runs where 32-bit programs
# run, natively or under the emulator (through cmake/wine-run, as the test
# programs do).
set -euo pipefail

say() { echo "stage-editor: $*" >&2; }

# The archive's name for an architecture.
archive_name() { if [ "$1" = x86 ]; then echo npp32.tar.xz; else echo npp64.tar.xz; fi; }

# The PE machine of a Windows program: x86 or x64.
machine_of() {
    local pe
    pe=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
    case $(od -An -t x2 -j $((pe + 4)) -N 2 "$1" | tr -d ' ') in
        014c) echo x86 ;;
        8664) echo x64 ;;
        *) echo other ;;
    esac
}

# Where the editor for ARCH is, or "NOT RUN: why".
find_editor() {
    local root=$1 arch=$2 candidates=() place common
    if [ -n "${QUIBLET_REAL_EDITOR:-}" ]; then
        candidates=("$QUIBLET_REAL_EDITOR")
    else
        candidates=("$root/../shared/notepad++")
        common=$(git -C "$root" rev-parse --path-format=absolute --git-common-dir 2>/dev/null || true)
        if [ -n "$common" ] && [ "$(dirname "$common")" != "$(cd "$root" && pwd)" ]; then
            candidates+=("$(dirname "$common")/../shared/notepad++")
        fi
    fi
    for place in "${candidates[@]}"; do
        if [ -f "$place" ]; then
            echo "$(realpath "$place")"
            return 0
        elif [ -f "$place/notepad++.exe" ]; then
            if [ "$(machine_of "$place/notepad++.exe")" = "$arch" ]; then
                echo "$(realpath "$place")"
                return 0
            fi
            echo "NOT RUN: $place/notepad++.exe is not the $arch editor"
            return 0
        elif [ -f "$place/$(archive_name "$arch")" ]; then
            echo "$(realpath "$place/$(archive_name "$arch")")"
            return 0
        elif [ -d "$place" ] && [ -n "${QUIBLET_REAL_EDITOR:-}" ]; then
            echo "NOT RUN: $place holds neither notepad++.exe nor $(archive_name "$arch")"
            return 0
        elif [ -d "$place" ]; then
            echo "NOT RUN: there is no $arch editor ($(archive_name "$arch")) in $(realpath "$place")"
            return 0
        fi
    done
    echo "NOT RUN (set QUIBLET_REAL_EDITOR)"
}

# Why ARCH's editor cannot run here, if it cannot.
route_problem() {
    local root=$1 arch=$2 route
    [ "$arch" = x86 ] || return 0
    route=$("$root/cmake/wine-run" --x86-route 2>/dev/null) || true
    case $route in
        native | emulated) ;;
        *) echo "NOT RUN: 32-bit programs cannot run here (${route#none: })" ;;
    esac
}

# The smoke group: the scenarios that load Quiblet, make a note with its
# shortcut, have it save itself, list and search the panel, make today's
# note and close the editor cleanly with the panel shown. Under the emulator
# the 32-bit editor is several times slower: all groups would not fit in
# CI's time.
smoke_group="smoke group (load, create, auto-save, panel listing and search, today's note, clean exit)"
if [ "${1:-}" = --groups ]; then
    if [ "$3" = x86 ] && [ "${QUIBLET_REAL_EDITOR_X86:-smoke}" != all ] &&
       [ "$("$2/cmake/wine-run" --x86-route 2>/dev/null)" = emulated ]; then
        echo "$smoke_group"
    else
        echo "all groups"
    fi
    exit 0
fi

if [ "${1:-}" = --find ]; then
    where=$(find_editor "$2" "$3")
    problem=$(route_problem "$2" "$3")
    if [ -n "$problem" ] && [ "${where#NOT RUN}" = "$where" ]; then where=$problem; fi
    echo "$where"
    [ "${where#NOT RUN}" = "$where" ] || exit 77
    exit 0
fi

root=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
arch=$3
stage=$build/realeditor
mkdir -p "$stage"
rm -f "$stage/not-run.txt"

where=$(find_editor "$root" "$arch")
problem=$(route_problem "$root" "$arch")
if [ -n "$problem" ] && [ "${where#NOT RUN}" = "$where" ]; then where=$problem; fi
if [ "${where#NOT RUN}" != "$where" ]; then
    reason=${where#NOT RUN: }
    if [ "$reason" = "$where" ]; then reason="no editor was found (set QUIBLET_REAL_EDITOR)"; fi
    printf '%s' "$reason" >"$stage/not-run.txt"
    echo "real editor: $where"
    exit 0
fi

# The editor, unpacked once per archive (or copied from its folder).
stamp="$where $(stat -c '%s %Y' "$where")"
if [ "$(cat "$stage/editor.stamp" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$stage/editor" "$stage/editor.stamp"
    mkdir -p "$stage/editor"
    if [ -d "$where" ]; then
        cp -R "$where/." "$stage/editor/"
    else
        tar -xJf "$where" -C "$stage/editor" --strip-components=1
    fi
    [ -f "$stage/editor/notepad++.exe" ] || { say "$where holds no notepad++.exe"; exit 1; }
    [ "$(machine_of "$stage/editor/notepad++.exe")" = "$arch" ] ||
        { say "$where holds no $arch notepad++.exe"; rm -rf "$stage/editor"; exit 1; }
    echo "$stamp" >"$stage/editor.stamp"
fi

# The editor's own language files (for the tests only; never shipped), from
# localization.tar.xz beside its archive: BUILD_FOLDER/realeditor/languages/.
languages=$(dirname "$where")/localization.tar.xz
rm -rf "$stage/languages"
if [ -f "$languages" ]; then
    mkdir -p "$stage/languages"
    tar -xJf "$languages" -C "$stage/languages" --strip-components=1
fi

# Quiblet as a user gets it: this build's release zip, unpacked.
rm -rf "$stage/dist" "$stage/plugin"
QUIBLET_BUILD_ROOT=$(dirname "$build") QUIBLET_PACKAGE_ARCHS=$arch "$root/scripts/package.sh" "$stage/dist" >/dev/null
. "$build/release.env"
unzip -q "$stage/dist/Quiblet-$QUIBLET_VERSION-$arch.zip" -d "$stage/plugin"

# Wine's desktop keeps the size of the display its server started on: a
# server the tests before left running (on their smaller display) is ended,
# so that the editor's screen is its suite's own virtual display. Nothing
# else runs in the prefix now (this step runs alone).
for prefix in "$build/wineprefix" "$build/wineprefix-emulated"; do
    if [ -f "$prefix/system.reg" ]; then WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true; fi
done
echo "real editor: $where, with $stage/dist/Quiblet-$QUIBLET_VERSION-$arch.zip"
