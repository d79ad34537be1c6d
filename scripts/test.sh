#!/usr/bin/env bash
# Sets up, builds and runs every test (unit, integration, end to end).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
[ -x tests/oracle/setup.sh ] && tests/oracle/setup.sh || true
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 900
