#!/usr/bin/env bash
# Builds both configurations: the portable core with its unit tests (host) and
# updater.exe with the Windows-side tests and helpers (win32).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
