#!/usr/bin/env bash
# Builds the Debian package in build/package: a Release build, installed
# under /usr, with the runtime packages it links as its dependencies. Then
# lists its metadata and files and runs lintian over it.
#   scripts/package.sh        -> build/package/quorvane_VERSION_ARCH.deb
# Install it with: apt install ./build/package/quorvane_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh dpkg-dev fakeroot file lintian
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF >/dev/null
cmake --build build/package -j"$(nproc)"
(cd build/package && rm -f ./*.deb && cpack -G DEB >/dev/null)
deb=$(ls build/package/*.deb)
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
# Errors fail the script; warnings are printed for the record.
lintian --fail-on error "$deb"
echo "$deb"
