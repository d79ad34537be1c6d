#!/usr/bin/env bash
# The test suites under sanitizers, and the fuzz targets. Needs what scripts/setup.sh installs.
#   scripts/sanitize.sh asan   unit and integration tests and a 10-day soak under ASan+UBSan,
#                              then every fuzz target for FUZZ_SECONDS (default 30) each
#   scripts/sanitize.sh tsan   the suites whose code crosses threads (the command runner, the
#                              log writer and files, speech and host actions, received-SMS
#                              commands) under ThreadSanitizer
#   scripts/sanitize.sh fuzz   only the fuzz targets
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-asan}
# clang and its sanitizer and fuzzer runtimes, beside what scripts/setup.sh installs.
for p in clang libclang-rt-14-dev; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq clang libclang-rt-14-dev
    break
  fi
done
jobs=$(nproc)

configure() {  # build-dir, extra cmake arguments...
  local dir=$1
  shift
  # -O1 with line tables: quick to build, and the reports still name their lines.
  CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" \
    ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} \
    "$@" >/dev/null
}

unit_and_integration_targets() {
  find tests/unit tests/integration -maxdepth 1 -name '*_test.cpp' -printf '%f\n' | sed 's/\.cpp$//'
}

TSAN_SUITES="command_runner_test log_writer_test log_files_test host_actions_test received_sms_test"

run_suites() {  # build-dir, suites...
  local dir=$1 failed=0 passed=0
  shift
  local targets="$*"
  cmake --build "$dir" -j"$jobs" --target $targets kolvane-modemsim
  local logs
  logs=$(mktemp -d)
  # Each suite on its own, two at a time; a failing one prints its log.
  printf '%s\n' $targets | xargs -P "$jobs" -I{} sh -c \
    '"$1/bin/$2" --gtest_brief=1 >"$3/$2.log" 2>&1 && touch "$3/$2.ok"' _ "$dir" {} "$logs" || true
  for t in $targets; do
    if [ -e "$logs/$t.ok" ]; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
      echo "== $t failed under $dir:"
      tail -n 60 "$logs/$t.log"
    fi
  done
  rm -rf "$logs"
  echo "== sanitized suites in $dir"
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

run_fuzzers() {
  local dir=build-asan seconds=${FUZZ_SECONDS:-30}
  cmake --build "$dir" -j"$jobs" --target kolvane_fuzzers
  local work
  work=$(mktemp -d)
  for seeds in fuzz/corpus/*/; do
    local name
    name=$(basename "$seeds")
    mkdir -p "$work/$name"
    echo "== fuzz ${name}_fuzz for ${seconds}s"
    "$dir/bin/${name}_fuzz" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 \
      -rss_limit_mb=2048 -artifact_prefix="$work/" "$work/$name" "$seeds" 2>&1 |
      grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|Done [0-9]+ runs)' ||
      true
    # libFuzzer's exit status is lost in the pipe: a finding leaves an artifact.
    if compgen -G "$work/crash-*" >/dev/null || compgen -G "$work/leak-*" >/dev/null ||
      compgen -G "$work/timeout-*" >/dev/null || compgen -G "$work/oom-*" >/dev/null; then
      for finding in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
        [ -e "$finding" ] || continue
        # The input itself, so that a finding of a CI run can be replayed.
        echo "Finding in ${name}_fuzz: $(basename "$finding"), base64:"
        base64 -w 100 "$finding"
        "$dir/bin/${name}_fuzz" "$finding" 2>&1 | tail -n 40 || true
      done
      exit 1
    fi
  done
  rm -rf "$work"
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
export QT_QPA_PLATFORM=offscreen

case "$mode" in
  asan)
    configure build-asan -DKOLVANE_SANITIZE=ON -DKOLVANE_FUZZ=ON
    # The soak over fewer days: its faults and the tick wrap under the sanitizers too.
    export KOLVANE_SOAK_DAYS=${KOLVANE_SOAK_DAYS:-10}
    run_suites build-asan $(unit_and_integration_targets) soak_test
    run_fuzzers
    ;;
  fuzz)
    configure build-asan -DKOLVANE_SANITIZE=ON -DKOLVANE_FUZZ=ON
    run_fuzzers
    ;;
  tsan)
    configure build-tsan -DKOLVANE_TSAN=ON
    run_suites build-tsan $TSAN_SUITES
    ;;
  *)
    echo "usage: $0 asan|tsan|fuzz" >&2
    exit 2
    ;;
esac
