#!/usr/bin/env bash
# The first run: installs only what building and running the programs needs, builds only
# knot-fdt, knot-unit-sim, KNOT-Q_FDT and KNOT-P_FDT (the run preset, in build/run), then, with a
# display, opens KNOT-Q_FDT against a simulated unit (knot-unit-sim); without one, flashes the
# bundled sample image of model Q into a simulated unit with knot-fdt. Ends with what it did and
# what to run next.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/run
begin=${SECONDS}
bash scripts/install-deps.sh run
installed=${SECONDS}
cmake --preset run >/dev/null
cmake --build --preset run -j "$(nproc)"
built=${SECONDS}
mkdir -p "$HOME/.local/state/Korvane/Shared/Data" # the trace folder; the programs never create it
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    bash scripts/open-window.sh q "${build}"
    ran="KNOT-Q_FDT was opened on a simulated unit"
else
    bash scripts/flash-demo.sh "${build}"
    ran="the sample samples/knot-q-sample.mot was flashed into a simulated unit"
fi

cat <<EOF

run.sh: done in $((SECONDS - begin)) s. The packages took $((installed - begin)) s, the build of
knot-fdt, knot-unit-sim, KNOT-Q_FDT and KNOT-P_FDT into ${build}/ $((built - installed)) s; then
${ran}.
Trace lines go to ~/.local/state/Korvane/Shared/Data/debugZu.txt.

Next:
  bash scripts/open-window.sh q ${build}     # KNOT-Q_FDT on a simulated unit (p: KNOT-P_FDT; needs a display)
  ${build}/sim/knot-unit-sim serve &         # a simulator of your own, then a unit in it:
  ${build}/sim/knot-unit-sim plug
  ${build}/cli/knot-fdt list
  ${build}/cli/knot-fdt flash --model q --commit-wait-ms 0 samples/knot-q-sample.mot
  bash scripts/test.sh                       # every test: installs the rest, builds every preset (about 40 min)
EOF
