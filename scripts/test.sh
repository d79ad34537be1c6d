#!/usr/bin/env bash
# Sets up, builds and runs every test (unit, integration, end to end).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
[ -x tests/oracle/setup.sh ] && tests/oracle/setup.sh || true
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 900 --repeat until-pass:2 | tee build/ctest.log
[ "${PIPESTATUS[0]}" -eq 0 ]
# The Debian package: lintian, then installed and run as the service would run it.
./scripts/package.sh --try
# The suites once more under ASan+UBSan, every fuzz target for 30 s, then the suites that
# cross threads under ThreadSanitizer (scripts/sanitize.sh names the sets).
FUZZ_SECONDS=30 ./scripts/sanitize.sh asan
./scripts/sanitize.sh tsan
# The main suite's summary closes the run.
grep -E "tests passed|tests failed" build/ctest.log | tail -n 1
