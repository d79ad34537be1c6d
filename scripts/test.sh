#!/usr/bin/env bash
# Sets up, builds and runs the test suite (unit, integration, windows, installer, end to end,
# the soak) and the package try-out. The sanitizer builds and the fuzzers are
# scripts/sanitize.sh; .ci/run runs them after this.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
[ -x tests/oracle/setup.sh ] && tests/oracle/setup.sh || true
# Twice as many tests as cores: the end-to-end tests spend their time waiting on the program
# and the simulators.
ctest --test-dir build --output-on-failure -j"$(($(nproc) * 2))" --timeout 900 | tee build/ctest.log
[ "${PIPESTATUS[0]}" -eq 0 ]
# The Debian package: lintian, then installed and run as the service would run it.
./scripts/package.sh --try
# The suite's summary closes the run.
grep -E "tests passed|tests failed" build/ctest.log | tail -n 1
