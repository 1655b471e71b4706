#!/usr/bin/env bash
# Installs what is missing, builds, and runs the updater under Wine on a
# simulated PC with the product installed, its services and programs running,
# its media database and records; prints every message the updater showed,
# the exit code and what the update changed. Options are passed on to
# testbed/run_demo.py; without any, the whole PC is simulated.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
if [ $# -eq 0 ]; then
  set -- --watched-libraries --restart-manager --media-database --records \
         --service QVLDms=running --service QVLCImp=running --service QVLDs \
         --program Castwell.exe=thumb-cache.dll --program Vidgrab.exe=stream-host.dll
fi
exec /usr/bin/python3 testbed/run_demo.py "$@"
