#!/usr/bin/env bash
# Builds the benchmarks and runs them for x86 and x64 under Wine, printing
# for each a table of ratios against baselines measured in the same run.
# Then the real Notepad++ (x64): its own "Plugins loading" time without
# Quiblet, with it, with its panel shown at start, and with the empty
# plug-in of the start-up row instead (what any plug-in costs), medians of
# QUIBLET_REAL_RUNS (default 9) alternating starts each; skipped with a line
# when there is no editor (see tests/realeditor/stage-editor.sh).
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

echo
echo "== the real editor (x64)"
dir=$root/x64
cmake --build "$dir" -j 2 --target Quiblet EmptyPlugin realeditor_tool menu_reader >/dev/null
tests/realeditor/stage-editor.sh "$PWD" "$dir" x64 >/dev/null
xvfb-run -a -s "-screen 0 1920x1200x24" cmake/wine-run "$dir/wineprefix" "$dir/bin/realeditor_tool.exe" \
    loading-time "${QUIBLET_REAL_RUNS:-9}" 2>/dev/null
