#!/usr/bin/env bash
# Makes the release packages from the three builds:
#   dist/Quiblet-<version>-x86.zip, -x64.zip and -arm64.zip (Quiblet.dll at
#   the top, the translations in localization\), dist/SHA256SUMS, and dist/pluginlist-entries.json (the three
#   entries for the editor's plug-in manager lists, one a list).
# The zips are byte-identical for identical DLLs: fixed entry time and order.
# QUIBLET_PACKAGE_ARCHS="x64" packs some architectures only (the real-editor
# tests pack the build they test).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-dist}
build_root=${QUIBLET_BUILD_ROOT:-build}
mkdir -p "$out"
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}

# Reads QUIBLET_VERSION and QUIBLET_DOWNLOAD_BASE of one build.
load_release_env() {
    # shellcheck disable=SC1090
    . "$build_root/$1/release.env"
}

entries=()
sums=()
for arch in ${QUIBLET_PACKAGE_ARCHS:-x86 x64 arm64}; do
    load_release_env "$arch"
    dll="$build_root/$arch/bin/Quiblet.dll"
    [ -f "$dll" ] || { echo "package: $dll is missing; build first" >&2; exit 1; }
    zip_name="Quiblet-$QUIBLET_VERSION-$arch.zip"
    stage=$(mktemp -d)
    cp "$dll" "$stage/Quiblet.dll"
    # The translations, beside the library in localization\.
    mkdir -p "$stage/localization"
    cp localization/*.ini "$stage/localization/"
    touch -d "@$epoch" "$stage/Quiblet.dll" "$stage"/localization/*.ini
    rm -f "$out/$zip_name"
    zip_path=$(realpath -m "$out/$zip_name")
    (cd "$stage" && LC_ALL=C TZ=UTC zip -q -X -D "$zip_path" Quiblet.dll localization/*.ini)
    rm -rf "$stage"
    sum=$(sha256sum "$out/$zip_name" | cut -d' ' -f1)
    sums+=("$sum  $zip_name")
    entries+=("$(cat <<JSON
  "$arch": {
    "folder-name": "Quiblet",
    "display-name": "Quiblet",
    "version": "$QUIBLET_VERSION",
    "id": "$sum",
    "repository": "$QUIBLET_DOWNLOAD_BASE/$zip_name",
    "description": "Quick notes: create a note file with Ctrl+Shift+N, named from templates such as %username%_\$date\$_\$time\$; save, open and clean up notes.",
    "author": "The Quiblet authors",
    "homepage": "https://example.org/quiblet"
  }
JSON
)")
done
printf '%s\n' "${sums[@]}" > "$out/SHA256SUMS"
{
    echo "{"
    last=$((${#entries[@]} - 1))
    for i in "${!entries[@]}"; do
        if [ "$i" = $last ]; then echo "${entries[$i]}"; else echo "${entries[$i]},"; fi
    done
    echo "}"
} > "$out/pluginlist-entries.json"
echo "package: $(ls "$out" | tr '\n' ' ')"
