#!/usr/bin/env bash
# Installs every Debian package the build and the tests need (only those missing), then
# configures and builds into build/ (executables in build/bin/).
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-serialport-dev qt6-speech-dev qt6-declarative-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  qt6-speech-speechd-plugin speech-dispatcher speech-dispatcher-espeak-ng espeak-ng
  libcrypt-dev libgtest-dev libgmock-dev libbenchmark-dev clang-format
  python3 python3-gammu socat swaks curl netcat-openbsd xvfb xauth desktop-file-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
# The test oracles need node and npm; a machine may already have them from another source.
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

BUILD_DIR=${KOLVANE_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$BUILD_DIR" -j"$(nproc)"
