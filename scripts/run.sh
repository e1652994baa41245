#!/usr/bin/env bash
# The main job: builds the programs, then, with a display, opens KNOT-Q_FDT against a simulated
# unit (knot-unit-sim); without one, flashes the bundled sample image of model Q into a
# simulated unit with knot-fdt.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
mkdir -p "$HOME/.local/state/Korvane/Shared/Data" # the trace folder; the programs never create it
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    bash scripts/open-window.sh q build/release
else
    bash scripts/flash-demo.sh build/release
fi
