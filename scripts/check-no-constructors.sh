#!/usr/bin/env bash
# Quiblet.dll starts without the C runtime's start-up code (see
# src/CMakeLists.txt), so nothing in the plug-in's code may need code run
# before DllMain: fails when an object of the library holds a static
# constructor or destructor, or thread-local data.
#   check-no-constructors.sh OBJDUMP libquiblet_core.a
# OBJDUMP is GNU objdump or llvm-objdump.
set -euo pipefail
objdump=$1 library=$2
found=$("$objdump" -h "$library" | grep -E '^ *[0-9]+ +\.(ctors|dtors|init_array|fini_array|tls|CRT)' || true)
if [ -n "$found" ]; then
    echo "check-no-constructors: $library holds code or data that would need the C runtime's start-up:" >&2
    printf '%s\n' "$found" >&2
    exit 1
fi
