#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the unit
# tests of the portable core (native, with sanitizers), then the resource
# checks, the Windows-side tests and the scenarios under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
ctest --preset host -j "$(nproc)"
ctest --preset win32 -j 2
