#!/usr/bin/env bash
# Installs what is missing, builds, and runs the updater under Wine on a
# simulated PC with the product installed, its services and programs running,
# its media database and records; prints every message the updater showed,
# the exit code and what the update changed. Further options are passed on to
# testbed/run_demo.py after the whole-PC ones (for example --arch 32).
set -euo pipefail
cd "$(dirname "$0")/.."
# updater.exe is a 32-bit program: a machine that cannot run one is told so
# before the set-up and the build (run_demo.py checks again after them).
if command -v python3 >/dev/null && ! python3 tests/wine/x86_32_mode.py check --for-demo; then
  exit 1
fi
bash scripts/setup.sh
bash scripts/build.sh
exec /usr/bin/python3 testbed/run_demo.py --whole-pc "$@"
