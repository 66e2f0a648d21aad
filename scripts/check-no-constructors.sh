#!/usr/bin/env bash
# Quiblet.dll starts without the C runtime's start-up code (see
# src/CMakeLists.txt), so nothing in the plug-in may need code run before
# DllMain or at exit. Fails when
#   - an object of the core library holds a static constructor or
#     destructor, or thread-local data (sections .ctors, .dtors, .init_array,
#     .fini_array, .tls, .CRT);
#   - the final DLL has a .tls or .CRT section or a TLS directory (its
#     callbacks would never run: thread_local would link one);
#   - the final DLL imports, or its link map shows it defines, any of
#     __emutls_get_address, atexit, _Znw* (operator new), __cxa_* (the C++
#     runtime's exception and guard machinery).
#   check-no-constructors.sh OBJDUMP libquiblet_core.a [Quiblet.dll Quiblet.map]
# OBJDUMP is GNU objdump or llvm-objdump.
set -euo pipefail
objdump=$1 library=$2 dll=${3:-} map=${4:-}
fail() {
    echo "check-no-constructors: $1" >&2
    exit 1
}
found=$("$objdump" -h "$library" | grep -E '^ *[0-9]+ +\.(ctors|dtors|init_array|fini_array|tls|CRT)' || true)
[ -z "$found" ] || fail "$library holds code or data that would need the C runtime's start-up:
$found"
[ -n "$dll" ] || exit 0

sections=$("$objdump" -h "$dll" | grep -E '^ *[0-9]+ +\.(tls|CRT)' || true)
[ -z "$sections" ] || fail "$dll has sections the loader would need the C runtime for:
$sections"
# "Entry 9 <address> <size> Thread Storage Directory": a TLS directory.
tls=$("$objdump" -p "$dll" | grep -E 'Thread Storage Directory' | grep -vE 'Entry 9 +0+ +0+ ' || true)
[ -z "$tls" ] || fail "$dll has a TLS directory: $tls"
forbidden='(__emutls_get_address|atexit|_Znw[A-Za-z0-9_]*|__cxa_[A-Za-z0-9_]*)'
imported=$("$objdump" -p "$dll" | grep -E "^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]*[[:space:]]*_?$forbidden\$" || true)
[ -z "$imported" ] || fail "$dll imports what needs the C runtime's start-up or exit:
$imported"
if [ -n "$map" ]; then
    defined=$(grep -E "^[[:space:]]+0x[0-9a-f]+[[:space:]]+_?$forbidden\$" "$map" || true)
    [ -z "$defined" ] || fail "$dll defines what needs the C runtime's start-up or exit (see $map):
$defined"
fi
