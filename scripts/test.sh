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
ctest --preset "$preset" --parallel "$(nproc)" "${@:2}"
