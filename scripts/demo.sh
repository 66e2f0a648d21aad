#!/usr/bin/env bash
# The plug-in at work: loads the freshly built Quiblet.dll into the stand-in
# editor under Wine, runs "Create new note" with the default settings, and
# prints where the note was written, as Windows names it and where that file
# is on this machine.
#   scripts/demo.sh [build folder]      (default: build/x64; build/x86 for
#                                        the 32-bit plug-in)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/x64}
host=$build/bin/quiblet-host.exe
if [ ! -f "$host" ] || [ ! -f "$build/bin/Quiblet.dll" ]; then
    echo "demo: $host or $build/bin/Quiblet.dll is missing; build first (scripts/build.sh)" >&2
    exit 1
fi
prefix=$(cd "$build" && pwd)/wineprefix
if [ ! -f "$prefix/.quiblet-ready" ]; then
    echo "demo: the first run makes a Wine prefix (once, about 15 s)"
fi

# The editor shows no window; a message box nobody can answer would hang it,
# hence the time limit. Wine's and the virtual display's chatter is shown
# only when something went wrong.
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
status=0
output=$(timeout 300 cmake/wine-run "$prefix" "$host" --demo 2>"$errors") || status=$?
output=$(printf '%s\n' "$output" | tr -d '\r')
note=$(printf '%s\n' "$output" | sed -n 's/^saved note: //p' | tail -n 1)
if [ $status != 0 ] || [ -z "$note" ]; then
    cat "$errors" >&2
    printf '%s\n' "$output" >&2
    echo "demo: the stand-in editor did not create a note (exit status $status)" >&2
    exit 1
fi

unix=$(printf '%s\n' "$output" | sed -n 's/^unix path: //p' | tail -n 1)
if [ -n "$unix" ] && [ -e "$unix" ]; then
    unix=$(readlink -f "$unix")
fi
echo "Quiblet created a note in the stand-in editor."
echo "  Windows path:    $note"
echo "  on this machine: ${unix:-(Wine did not say)}"
