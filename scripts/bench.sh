#!/usr/bin/env bash
# Builds the benchmarks and runs them for x86 and x64 under Wine, printing
# for each a table of ratios against baselines measured in the same run.
# The benchmarks are not tests: nothing here fails on a missed goal.
#   scripts/bench.sh            build folders build/x86 and build/x64
#   BUILD_ROOT=/tmp/b scripts/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=${BUILD_ROOT:-build}
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
fi
export SOURCE_DATE_EPOCH

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(/usr/lib/wine/wine64 --version)"
echo "32-bit programs: $(cmake/wine-run --x86-route || true)"
for arch in x86 x64; do
    dir=$root/$arch
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake --preset "$arch" -B "$dir" >/dev/null
    fi
    cmake --build "$dir" -j 2 --target quiblet_bench >/dev/null
    echo
    echo "== $arch"
    cmake/wine-run "$dir/wineprefix" "$dir/bin/quiblet_bench.exe" 2>/dev/null
done
