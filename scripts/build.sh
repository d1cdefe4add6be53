#!/usr/bin/env bash
# Configures and builds one preset: scripts/build.sh [debug|release|asan|tsan|fuzz]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
echo "[build] preset $preset"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
