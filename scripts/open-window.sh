#!/usr/bin/env bash
# Opens KNOT-Q_FDT (or KNOT-P_FDT with "p") against a simulator process with one unit plugged in,
# and stops the simulator when the window is closed. Needs a display and a build with the window.
# Usage: scripts/open-window.sh [q|p] [BUILD_DIR]   (default: build/run, as scripts/run.sh builds)
set -euo pipefail
cd "$(dirname "$0")/.."

model=${1:-q}
build_dir=${2:-build/run}
program=$build_dir/app/qt/KNOT-${model^^}_FDT
sim=$build_dir/sim/knot-unit-sim
[ -x "$program" ] && [ -x "$sim" ] || { echo "build $program and $sim first" >&2; exit 1; }

export KNOT_SIM_DIR=${KNOT_SIM_DIR:-$(mktemp -d)/sim}
mkdir -p -m 700 "$KNOT_SIM_DIR"
"$sim" serve >/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -S "$KNOT_SIM_DIR/control.sock" ] && break
    sleep 0.05
done
"$sim" plug --program-name "SIMUNIT" --version "1.00" >/dev/null
echo "Simulator in $KNOT_SIM_DIR with unit 0 plugged; more: KNOT_SIM_DIR=$KNOT_SIM_DIR $sim plug"
"$program"
