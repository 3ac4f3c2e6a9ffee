#!/usr/bin/env bash
# Installs what is missing, builds from scratch and runs every test: by default on the optimised
# build that ships, every warning an error.
# Usage: scripts/test.sh [preset [ctest options...]]   (release by default; also dev, asan)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"

scripts/install-deps.sh
cmake --preset "$preset" --fresh
cmake --build --preset "$preset" --parallel "$(nproc)"
export QT_QPA_PLATFORM=offscreen
# Twice as many tests as processors: most of them spend their time waiting on a line at the
# meter's speed, not computing.
ctest --preset "$preset" --parallel "$((2 * $(nproc)))" "${@:2}"
