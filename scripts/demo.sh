#!/usr/bin/env bash
# Installs what is missing, builds, and runs the updater under Wine on a
# simulated PC with the product installed; prints the exit code and every
# message the updater showed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
exec /usr/bin/python3 testbed/run_demo.py "$@"
