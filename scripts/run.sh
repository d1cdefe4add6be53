#!/usr/bin/env bash
# Installs what is missing, builds, and starts the panel against the built-in simulated scale.
# Extra arguments go to Karvel (for example --list-ports).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --run
# Only the panel, its display control and the simulator --demo starts: the tests and
# benchmarks wait for scripts/test.sh.
echo "[build] preset release: Karvel, Lumeq and karvel-scalesim only"
cmake --preset release -DKARVEL_BUILD_TESTS=OFF -DKARVEL_BUILD_BENCH=OFF >/dev/null
cmake --build --preset release -j "$(nproc)" --target Karvel Lumeq karvel-scalesim
bin=build/release/bin/Karvel
args=("$@")
[ ${#args[@]} -eq 0 ] && args=(--demo)
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "[run] There is no display. To run the panel on a virtual one:"
    echo "        xvfb-run -a -s '-screen 0 1024x768x24' $bin ${args[*]}"
    exit 1
fi
echo "[run] $bin ${args[*]}"
exec "$bin" "${args[@]}"
