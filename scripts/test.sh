#!/usr/bin/env bash
# Sets up, builds and runs every test (unit, integration, end to end).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
[ -x tests/oracle/setup.sh ] && tests/oracle/setup.sh || true
# The PDU codec and character conversions once more under ASan and UBSan, with random input,
# in a small build of their own.
cmake -S tests/unit/codec_sanitize -B build-sanitize -G Ninja >/dev/null
cmake --build build-sanitize -j"$(nproc)"
build-sanitize/codec_robustness_test --gtest_brief=1
# The gateway devices' frame reader the same way.
cmake -S tests/unit/gate_sanitize -B build-gate-sanitize -G Ninja >/dev/null
cmake --build build-gate-sanitize -j"$(nproc)"
build-gate-sanitize/gate_robustness_test --gtest_brief=1
# The log writer, shared between threads, under ThreadSanitizer.
cmake -S tests/unit/log_tsan -B build-log-tsan -G Ninja >/dev/null
cmake --build build-log-tsan -j"$(nproc)"
TSAN_OPTIONS=halt_on_error=1 build-log-tsan/log_writer_tsan_test --gtest_brief=1
# The command runner hands records between the gateway's thread and its worker.
cmake -S tests/unit/runner_tsan -B build-runner-tsan -G Ninja >/dev/null
cmake --build build-runner-tsan -j"$(nproc)"
TSAN_OPTIONS=halt_on_error=1 build-runner-tsan/command_runner_tsan_test --gtest_brief=1
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 900 --repeat until-pass:2 | tee build/ctest.log
[ "${PIPESTATUS[0]}" -eq 0 ]
# The Debian package: lintian, then installed and run as the service would run it.
./scripts/package.sh --try
# The main suite's summary closes the run.
grep -E "tests passed|tests failed" build/ctest.log | tail -n 1
