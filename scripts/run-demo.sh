#!/usr/bin/env bash
# Sets up, builds and runs the gateway in demo mode beside the simulated modem
# (folder ./kolvane-demo, or the one given).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
exec build/bin/Kolvane --demo "$@"
