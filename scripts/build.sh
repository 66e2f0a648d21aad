#!/usr/bin/env bash
# Configures and builds every architecture: x86, x64 and arm64 (Windows on
# ARM, whose programs are built but cannot run here).
set -euo pipefail
cd "$(dirname "$0")/.."
# Builds of one commit are byte-identical: the compile date comes from the
# commit unless SOURCE_DATE_EPOCH is set.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
fi
export SOURCE_DATE_EPOCH
for arch in x86 x64 arm64; do
    if [ ! -f "build/$arch/CMakeCache.txt" ]; then
        cmake --preset "$arch" >/dev/null
    fi
    cmake --build --preset "$arch" -j 2
done
