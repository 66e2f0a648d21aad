#!/usr/bin/env bash
# Checks a built Quiblet.dll: it imports only Windows system DLLs (no mingw
# runtime), exports exactly the editor's six functions under their plain
# names, is built for the expected machine, carries its resources, keeps its
# sections on page boundaries in the file (Wine maps such a library instead
# of copying it, which the editor's start-up pays for) and is no larger than
# 192 KB.
# Given the DLL of another build, it also checks that both carry the same
# resources and the same version resource.
#   check-dll.sh OBJDUMP Quiblet.dll x86|x64|arm64 [OTHER_BUILD/Quiblet.dll]
# OBJDUMP is GNU objdump or llvm-objdump (which reads arm64 DLLs).
set -euo pipefail
objdump=$1 dll=$2 arch=$3 reference=${4:-}
allowed="KERNEL32.dll USER32.dll GDI32.dll COMCTL32.dll SHLWAPI.dll SHELL32.dll COMDLG32.dll OLE32.dll VERSION.dll ADVAPI32.dll msvcrt.dll"
expected_exports="beNotified getFuncsArray getName isUnicode messageProc setInfo"
size_limit=$((192 * 1024))

dump=$("$objdump" -p "$dll")
fail=0

size=$(stat -c %s "$dll")
if [ "$size" -gt "$size_limit" ]; then
    echo "check-dll: $dll is $size bytes, more than 192 KB ($size_limit bytes)" >&2
    fail=1
fi

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

# The export table lines look like "[   0] +base[   1] 0000 beNotified"
# (GNU objdump) or "       1   0x17d0  beNotified" (llvm-objdump).
exports=$( { printf '%s\n' "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
               sed -n 's/^\s*\[ *[0-9]*\] //p'
             printf '%s\n' "$dump" | sed -n '/^Export Table:/,/^$/p' |
               sed -n 's/^ *[0-9][0-9]* *0x[0-9a-f]* *//p'; } | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$exports" != "$expected_exports" ]; then
    echo "check-dll: $dll exports '$exports', expected '$expected_exports'" >&2
    fail=1
fi

# The machine, the resources and (given another build) the sameness of the
# resources and of the version resource, read from the file itself.
python3 - "$dll" "$arch" "$reference" <<'PY' || fail=1
import struct, sys
dll, arch, reference = sys.argv[1:]
MACHINES = {"x86": 0x14C, "x64": 0x8664, "arm64": 0xAA64}
RT_BITMAP, RT_DIALOG, RT_VERSION = 2, 5, 16
# The dialog, the four toolbar bitmaps and the version, in US English.
REQUIRED = {(RT_DIALOG, 200, 1033), (RT_VERSION, 1, 1033)} | {(RT_BITMAP, n, 1033) for n in range(300, 304)}

def read_pe(path):
    """The machine, the file alignment and every resource as
    {(type, name, language): data}."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    machine, sections = struct.unpack_from("<HH", data, pe + 4)[0:2]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    file_alignment = struct.unpack_from("<I", data, optional + 36)[0]
    directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, directories + 2 * 8)
    table = optional + optional_size
    spans = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]
    def offset(rva):
        for size, start, raw_size, raw in spans:
            if start <= rva < start + max(size, raw_size):
                return raw + rva - start
        raise ValueError(f"address {rva:#x} is in no section")
    resources = {}
    def walk(at, path):
        named, numbered = struct.unpack_from("<HH", data, at + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, at + 16 + 8 * i)
            key = path + (name if not name & 0x80000000 else f"name@{name & 0x7FFFFFFF:#x}",)
            if target & 0x80000000:
                walk(base + (target & 0x7FFFFFFF), key)
            else:
                data_rva, size = struct.unpack_from("<II", data, base + target)
                resources[key] = data[offset(data_rva):offset(data_rva) + size]
    if rsrc_size:
        base = offset(rsrc_rva)
        walk(base, ())
    return machine, file_alignment, resources

problems = []
machine, file_alignment, resources = read_pe(dll)
if machine != MACHINES[arch]:
    problems.append(f"machine {machine:#x}, expected {MACHINES[arch]:#x} ({arch})")
if file_alignment != 0x1000:
    problems.append(f"file alignment {file_alignment:#x}, expected 0x1000 (sections on page boundaries)")
for missing in sorted(REQUIRED - resources.keys()):
    problems.append("no resource type %d, name %d, language %d" % missing)
if reference:
    _, _, others = read_pe(reference)
    if resources.keys() != others.keys():
        problems.append(f"resources {sorted(resources.keys(), key=str)} differ from {reference}'s {sorted(others.keys(), key=str)}")
    elif resources[(RT_VERSION, 1, 1033)] != others[(RT_VERSION, 1, 1033)]:
        problems.append(f"the version resource differs from {reference}'s")
for p in problems:
    print(f"check-dll: {dll}: {p}", file=sys.stderr)
sys.exit(1 if problems else 0)
PY
exit $fail
