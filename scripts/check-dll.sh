#!/usr/bin/env bash
# Checks a built Quiblet.dll: it imports only Windows system DLLs (no mingw
# runtime), exports exactly the editor's six functions under their plain
# names, and is built for the expected machine.
#   check-dll.sh OBJDUMP Quiblet.dll x86|x64
set -euo pipefail
objdump=$1 dll=$2 arch=$3
allowed="KERNEL32.dll USER32.dll GDI32.dll COMCTL32.dll SHLWAPI.dll SHELL32.dll COMDLG32.dll OLE32.dll VERSION.dll ADVAPI32.dll msvcrt.dll"
expected_exports="beNotified getFuncsArray getName isUnicode messageProc setInfo"

dump=$("$objdump" -p "$dll")
fail=0

imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p')
for name in $imports; do
    ok=0
    for allowed_name in $allowed; do
        [ "${name,,}" = "${allowed_name,,}" ] && ok=1
    done
    if [ $ok = 0 ]; then
        echo "check-dll: $dll imports $name, which is not a Windows system DLL we allow" >&2
        fail=1
    fi
done

# The export table lines look like "[   0] +base[   1] 0000 beNotified".
exports=$(printf '%s\n' "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$exports" != "$expected_exports" ]; then
    echo "check-dll: $dll exports '$exports', expected '$expected_exports'" >&2
    fail=1
fi

case $arch in
    x86) machine="file format pei-i386" ;;
    x64) machine="file format pei-x86-64" ;;
    *) echo "check-dll: unknown architecture $arch" >&2; exit 2 ;;
esac
if ! "$objdump" -f "$dll" | grep -q "$machine"; then
    echo "check-dll: $dll is not a $arch DLL" >&2
    fail=1
fi
exit $fail
