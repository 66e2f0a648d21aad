#!/usr/bin/env bash
# The packaging check: makes the release packages from the current builds
# and verifies each zip (Quiblet.dll at the top and the translations in
# localization/ as they are in the sources, the right machine,
# the fixed version equal to the entry's version padded to four numbers,
# the SHA-256 equal to the entry's id, imports and exports as checked after
# linking, and the same resources and version resource as the x86 DLL).
# Then builds the DLLs once more from a copy of the sources in another
# folder with the same SOURCE_DATE_EPOCH and checks the zips are identical.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
say() { echo "check-package: $*" >&2; }

scripts/package.sh "$work/dist" >/dev/null
json="$work/dist/pluginlist-entries.json"

# The copies below build arm64 with this checkout's arm64 toolchain.
export QUIBLET_ARM64_TOOLCHAIN=${QUIBLET_ARM64_TOOLCHAIN:-$(scripts/build-arm64-toolchain.sh --where)}
objdump_x86=i686-w64-mingw32-objdump objdump_x64=x86_64-w64-mingw32-objdump objdump_arm64=llvm-objdump-14

for arch in x86 x64 arm64; do
    . "build/$arch/release.env"
    zip_file="$work/dist/Quiblet-$QUIBLET_VERSION-$arch.zip"
    listing=$(unzip -Z1 "$zip_file")
    expected=$(printf 'Quiblet.dll\n'; cd localization && LC_ALL=C ls -- *.ini | sed 's|^|localization/|')
    [ "$listing" = "$expected" ] ||
        { say "$arch zip holds '$listing', expected Quiblet.dll and the translations"; fail=1; }
    for file in localization/*.ini; do
        unzip -p "$zip_file" "$file" | cmp -s - "$file" || { say "$arch zip's $file is not the one in the sources"; fail=1; }
    done
    mkdir -p "$work/$arch" && unzip -q -o "$zip_file" -d "$work/$arch"
    dll="$work/$arch/Quiblet.dll"
    objdump=objdump_$arch
    scripts/check-dll.sh "${!objdump}" "$dll" "$arch" "$work/x86/Quiblet.dll" || fail=1
    python3 - "$dll" "$json" "$arch" "$zip_file" <<'PY' || fail=1
import hashlib, json, struct, sys
dll, entries, arch, zip_file = sys.argv[1:]
data = open(dll, "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    sys.exit(f"check-package: {arch}: no fixed version information")
ms, ls = struct.unpack_from("<II", data, at + 8)
fixed = [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF]
entry = json.load(open(entries))[arch]
wanted = [int(x) for x in entry["version"].split(".")]
wanted += [0] * (4 - len(wanted))
problems = []
if fixed != wanted:
    problems.append(f"fixed version {fixed} is not the entry's {entry['version']}")
# The version strings ("1, 3, 0, 0") carry the same numbers.
import re
for key in ("FileVersion", "ProductVersion"):
    at_key = data.find((key + "\0").encode("utf-16-le"), at)
    if at_key < 0:
        problems.append(f"no {key} string")
        continue
    # A String block: wLength, wValueLength (in characters), wType, the key,
    # then the value on a 4-byte boundary.
    value_length = struct.unpack_from("<H", data, at_key - 4)[0]
    at_value = (at_key + 2 * (len(key) + 1) + 3) & ~3
    text = data[at_value:at_value + 2 * value_length].decode("utf-16-le").rstrip("\0")
    numbers = [int(x) for x in re.split(r"[ ,.]+", text.strip()) if x]
    numbers += [0] * (4 - len(numbers))
    if numbers != wanted:
        problems.append(f"{key} string '{text}' is not the entry's {entry['version']}")
if not zip_file.endswith(f"Quiblet-{entry['version']}-{arch}.zip"):
    problems.append(f"zip {zip_file} is not named for version {entry['version']}")
digest = hashlib.sha256(open(zip_file, "rb").read()).hexdigest()
if entry["id"] != digest:
    problems.append(f"id {entry['id']} is not the zip's SHA-256 {digest}")
if not entry["repository"].endswith("/" + zip_file.rsplit("/", 1)[1]):
    problems.append(f"repository {entry['repository']} does not name the zip")
for key in ("folder-name", "display-name", "version", "id", "repository", "description", "author", "homepage"):
    if not entry.get(key):
        problems.append(f"entry has no {key}")
if entry.get("folder-name") != "Quiblet":
    problems.append("folder-name is not Quiblet")
for p in problems:
    print(f"check-package: {arch}: {p}", file=sys.stderr)
sys.exit(1 if problems else 0)
PY
done

# The changelog has a dated section for the version released.
if ! grep -q "^## $QUIBLET_VERSION — [0-9]\{4\}-[0-9]\{2\}-[0-9]\{2\}" CHANGELOG.md; then
    say "CHANGELOG.md has no dated section for $QUIBLET_VERSION"
    fail=1
fi

# Reproducible builds: the DLLs built again from a copy of the sources in
# another folder, with the same SOURCE_DATE_EPOCH as scripts/build.sh gave
# this checkout's build, make the same zips as this checkout's. A checkout
# whose DLLs were built with another date (an incremental build begun at an
# older commit) is compared instead with a second copy, built in a third
# folder with the first copy's date.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
build_copy() {
    local copy=$1
    mkdir -p "$work/$copy/src"
    tar --exclude=./build --exclude=./dist --exclude=./.git --exclude=./toolchains -cf - . | tar -xf - -C "$work/$copy/src"
    for arch in x86 x64 arm64; do
        (cd "$work/$copy/src" &&
         SOURCE_DATE_EPOCH=$epoch cmake --preset "$arch" -B "$work/$copy/build/$arch" -DBUILD_TESTING=OFF >/dev/null &&
         SOURCE_DATE_EPOCH=$epoch cmake --build "$work/$copy/build/$arch" --target Quiblet -j 2 >/dev/null)
    done
    (cd "$work/$copy/src" && SOURCE_DATE_EPOCH=$epoch QUIBLET_BUILD_ROOT="$work/$copy/build" scripts/package.sh "$work/$copy/dist" >/dev/null)
}
# Names the zips that differ between two folders of zips.
differing() {
    for arch in x86 x64 arm64; do
        name="Quiblet-$QUIBLET_VERSION-$arch.zip"
        cmp -s "$1/$name" "$2/$name" || echo "$name"
    done
}
build_copy one
different=$(differing "$work/dist" "$work/one/dist")
if [ -n "$different" ]; then
    say "this checkout's build differs from a copy's ($(echo $different)); built with another date? comparing two copies"
    build_copy two
    for name in $(differing "$work/one/dist" "$work/two/dist"); do
        say "$name differs between two builds of the same sources"
        fail=1
    done
fi

if [ $fail = 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $fail
