#!/usr/bin/env bash
# Installs what is missing, builds the Debug configuration from scratch and runs every test.
# Usage: scripts/test.sh [preset]   (dev by default; also release, asan)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-dev}"

scripts/install-deps.sh
cmake --preset "$preset" --fresh
cmake --build --preset "$preset" --parallel "$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --preset "$preset" --parallel "$(nproc)"
