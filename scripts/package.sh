#!/usr/bin/env bash
# Builds the Debian package from build/ (after scripts/setup.sh) and checks it with lintian.
#   scripts/package.sh          build/kolvane_*.deb, lintian with errors fatal
#   scripts/package.sh --try    the same, then install it, run the service's command line by
#                               hand beside kolvane-modemsim, and remove it again
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
for p in lintian dpkg-dev adduser; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

cmake --build build -j"$(nproc)" --target Kolvane kolvane-modemsim kolvane_package_docs
rm -f build/kolvane_*.deb
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/kolvane_*.deb)
echo "== $deb"
dpkg-deb --contents "$deb" | awk '{print $1, $6}'
# Errors fail; warnings are shown.
lintian --fail-on error --no-tag-display-limit "$deb"
echo "lintian: no errors"

[ "${1:-}" = "--try" ] || exit 0
exec python3 tests/package/try_package.py "$deb"
