#!/usr/bin/env bash
# Builds (if needed) and runs the whole test suite for x86 and x64 under
# Wine, on one virtual display. Extra arguments go to ctest (for example
# -R Settings to run some tests only). The arm64 DLL and test programs are
# built and the DLL checked, but nothing here can run them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
status=0
echo "== arm64: built and checked, not run"
scripts/check-dll.sh llvm-objdump-14 build/arm64/bin/Quiblet.dll arm64 build/x64/bin/Quiblet.dll || status=1
for arch in x86 x64; do
    echo "== tests: $arch"
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset "$arch" "$@" || status=1
done
exit $status
