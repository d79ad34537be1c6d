#!/usr/bin/env bash
# Pictures of the settings dialog and the monitor views in English and Czech, taken under a
# virtual X display, into docs/windows/.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${KOLVANE_BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target kolvane-window-shots
for lang in EN CZ; do
  xvfb-run -a -s "-screen 0 1280x1024x24" "$BUILD_DIR/bin/kolvane-window-shots" docs/windows "$lang"
done
ls docs/windows
