#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the unit
# tests of the portable core (native, with sanitizers), then the resource
# checks, the Windows-side tests and the scenarios under Wine, and the 64-bit
# build of the Windows-side tests under 64-bit Wine. On a machine that cannot
# run 32-bit programs the Wine tests of updater.exe are reported as skipped,
# after one line that says why.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
ctest --preset host -j "$(nproc)"
python3 tests/wine/x86_32_mode.py check || true
ctest --preset win32 -j 2
ctest --preset win64
