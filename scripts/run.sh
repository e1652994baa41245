#!/usr/bin/env bash
# The main job: builds the tools and inspects the bundled sample image of model Q.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
./build/release/cli/knot-fdt inspect --model q samples/knot-q-sample.mot
