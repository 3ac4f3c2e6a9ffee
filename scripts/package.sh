#!/usr/bin/env bash
# Builds the Debian package: the release build (preset "package": optimised, without tests and
# benchmarks, hardened) and `cpack -G DEB`. Prints the package's path on its last line.
# Usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# dpkg-dev (dpkg-shlibdeps) and file compute the package's dependencies from its binaries.
scripts/install-deps.sh dpkg-dev file
cmake --preset package --fresh >/dev/null
cmake --build --preset package --parallel "$(nproc)"
rm -f build/package/*.deb
(cd build/package && cpack -G DEB >&2)
ls -1 "$PWD"/build/package/*.deb
