#!/usr/bin/env bash
# Sets up, builds and runs the gateway in demo mode.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
exec build/bin/Kolvane --headless --dir kolvane-demo "$@"
