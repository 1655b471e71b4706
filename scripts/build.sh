#!/usr/bin/env bash
# Builds the three configurations: the portable core with its unit tests
# (host), updater.exe with the Windows-side tests and helpers (win32), and the
# 64-bit test build of the Windows-side tests (win64).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
