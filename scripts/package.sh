#!/usr/bin/env bash
# Builds the two Debian packages from build/ (after scripts/setup.sh) and checks them.
#   scripts/package.sh          build/kolvane_*.deb (the service) and build/kolvane-desktop_*.deb
#                               (the window program); lintian with errors fatal, and no desktop
#                               library among the service's dependencies
#   scripts/package.sh --try    the same, then install, use, upgrade, remove and purge them
#                               (tests/package/try_package.py); needs root
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

cmake --build build -j"$(nproc)" --target kolvaned Kolvane kolvane-modemsim kolvane-gatesim \
  kolvane_package_docs
rm -f build/kolvane_*.deb build/kolvane-desktop_*.deb
(cd build && cpack -G DEB >/dev/null)
service=$(ls build/kolvane_*.deb)
desktop=$(ls build/kolvane-desktop_*.deb)
for deb in "$service" "$desktop"; do
  echo "== $deb"
  dpkg-deb --field "$deb" Package Version Depends Recommends
  dpkg-deb --contents "$deb" | awk '{print $1, $6}'
  # Errors fail; warnings are shown.
  lintian --fail-on error --tag-display-limit 0 "$deb"
done
echo "lintian: no errors"

# What installing the service pulls in (Depends and Recommends, all the way down) holds no
# window, graphics or X library.
deps=$(dpkg-deb --field "$service" Depends Recommends | sed 's/^[A-Za-z]*: //' | tr ',|' '\n\n' |
  sed 's/(.*)//; s/^ *//; s/ *$//' | grep -v '^$' | grep -vx adduser)
desktop_libs='^(libqt6gui6|libqt6widgets6|libqt6opengl6|libx11-6|libxcb1|libegl1|libgl1|libglx0|libglvnd0|libopengl0|libgles2|qt6-qpa-plugins)$'
pulled=$(apt-cache depends --recurse --no-suggests --no-conflicts --no-breaks --no-replaces \
  --no-enhances $deps 2>/dev/null | grep -v '^ ' | sort -u)
if grep -E "$desktop_libs" <<<"$pulled"; then
  echo "the service package pulls the desktop libraries above" >&2
  exit 1
fi
echo "kolvane pulls $(wc -l <<<"$pulled") packages, no desktop library among them"

[ "${1:-}" = "--try" ] || exit 0
# An upgrade: the same build packed as the next version.
version=$(dpkg-deb --field "$service" Version)
next="${version%.*}.$((${version##*.} + 1))"
rm -rf build/upgrade
(cd build && cpack -G DEB -B upgrade -D CPACK_PACKAGE_VERSION="$next" \
  -D "CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS=kolvane (= $next)" >/dev/null)
exec python3 tests/package/try_package.py "$service" "$desktop" \
  build/upgrade/kolvane_"$next"_*.deb build/upgrade/kolvane-desktop_"$next"_*.deb
