#!/usr/bin/env bash
# Builds the Debian package: the release build (preset "release": optimised and hardened, the
# build the tests run on) and `cpack -G DEB`. Prints the package's path on its last line.
# Usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# dpkg-dev (dpkg-shlibdeps) and file compute the package's dependencies from its binaries.
scripts/install-deps.sh dpkg-dev file
cmake --preset release >/dev/null
cmake --build --preset release --parallel "$(nproc)"
rm -f build/release/*.deb
(cd build/release && cpack -G DEB >&2)
ls -1 "$PWD"/build/release/*.deb
