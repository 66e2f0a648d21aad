#!/usr/bin/env bash
# From a fresh Debian machine to a working plug-in: installs what is
# missing, builds the three DLLs (x86, x64, arm64), makes the release
# packages in dist/, and runs the demo (the x64 DLL creates a note in the
# stand-in editor under Wine; scripts/demo.sh build/x86 does the same with
# the x86 DLL).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
scripts/package.sh
scripts/demo.sh
