#!/usr/bin/env bash
# The main job: builds the tools, then flashes the bundled sample image of model Q into a
# simulated unit (knot-unit-sim) with knot-fdt.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
bash scripts/flash-demo.sh build/release
