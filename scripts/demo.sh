#!/usr/bin/env bash
# Installs what is missing, builds, and runs the updater under Wine on a
# simulated PC with the product installed, its services and programs running,
# its media database and records; prints every message the updater showed,
# the exit code and what the update changed. Further options are passed on to
# testbed/run_demo.py after the whole-PC ones (for example --arch 32).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
exec /usr/bin/python3 testbed/run_demo.py --whole-pc "$@"
