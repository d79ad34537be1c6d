#!/usr/bin/env bash
# Pictures of every page of the setup wizard, in English and Czech, into docs/ (PNG).
# Needs the built installer_wizard_test; runs it on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${KOLVANE_BIN_DIR:-build/bin}
mkdir -p docs
KOLVANE_SHOTS="$PWD/docs" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$BIN/installer_wizard_test" --gtest_also_run_disabled_tests --gtest_filter='*Screenshots' \
  --gtest_brief=1
ls docs/installer-*.png
