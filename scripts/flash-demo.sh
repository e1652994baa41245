#!/usr/bin/env bash
# Flashes the bundled sample image of model Q into a simulated unit with knot-fdt: starts
# knot-unit-sim in a fresh rendezvous folder, plugs one unit, runs the download (without the
# unit's long write wait, which a simulated unit does not need), then stops the simulator.
# Usage: scripts/flash-demo.sh [BUILD_DIR]   (default: build/run, as scripts/run.sh builds)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${1:-build/run}"
fdt="$build_dir/cli/knot-fdt"
sim="$build_dir/sim/knot-unit-sim"
for tool in "$fdt" "$sim"; do
    if [[ ! -x "$tool" ]]; then
        echo "flash-demo: $tool is not built" >&2
        exit 1
    fi
done

# The trace log's folder: the program writes there but never creates it.
mkdir -p "$HOME/.local/state/Korvane/Shared/Data"

export KNOT_SIM_DIR
KNOT_SIM_DIR="$(mktemp -d "${TMPDIR:-/tmp}/knot-flash-demo.XXXXXX")"
server_log="$KNOT_SIM_DIR.log"
server_pid=""
cleanup() {
    if [[ -n "$server_pid" ]] && kill -0 "$server_pid" 2>/dev/null; then
        kill -TERM "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$KNOT_SIM_DIR" "$server_log"
}
trap cleanup EXIT

"$sim" serve >"$server_log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do
    [[ -S "$KNOT_SIM_DIR/control.sock" ]] && break
    if ! kill -0 "$server_pid" 2>/dev/null; then
        echo "flash-demo: knot-unit-sim did not start:" >&2
        cat "$server_log" >&2
        exit 1
    fi
    sleep 0.05
done
if [[ ! -S "$KNOT_SIM_DIR/control.sock" ]]; then
    echo "flash-demo: knot-unit-sim is not listening in $KNOT_SIM_DIR" >&2
    exit 1
fi

unit="$("$sim" plug)"
echo "flash-demo: simulated unit $unit plugged in"
"$fdt" flash --model q --commit-wait-ms 0 samples/knot-q-sample.mot
