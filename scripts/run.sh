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
# A password asked for now, so that the packages installed in the background need none.
if [ "$(id -u)" -ne 0 ] && ! bash scripts/install-deps.sh --check run; then
    sudo -v
fi
bash scripts/install-deps.sh run-cli
# Qt's packages, most of the packages, install while knot-fdt and knot-unit-sim build; the window
# programs build once they are in.
mkdir -p "${build}"
qt_log=${build}/qt-packages.log
bash scripts/install-deps.sh run-qt </dev/null >"${qt_log}" 2>&1 &
qt_packages=$!
cmake --preset run -DKNOT_BUILD_GUI=OFF >/dev/null
cmake --build --preset run -j "$(nproc)" --target knot-fdt knot-unit-sim
if ! wait "${qt_packages}"; then
    cat "${qt_log}" >&2
    echo "run.sh: Qt's packages could not be installed (above)" >&2
    exit 1
fi
cmake --preset run -DKNOT_BUILD_GUI=ON >/dev/null
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

echo
echo "run.sh: done in $((SECONDS - begin)) s. It installed the packages that were missing and built"
echo "knot-fdt, knot-unit-sim, KNOT-Q_FDT and KNOT-P_FDT into ${build}/ in $((built - begin)) s; then"
echo "${ran}."
echo "Trace lines go to ~/.local/state/Korvane/Shared/Data/debugZu.txt."
echo
echo "Next:"
next() { printf '  %-48s%s\n' "$1" "${2:+# $2}"; }
next "bash scripts/open-window.sh q ${build}" "KNOT-Q_FDT on a simulated unit (p: KNOT-P_FDT; needs a display)"
next "${build}/sim/knot-unit-sim serve &" "a simulator of your own,"
next "${build}/sim/knot-unit-sim plug" "a unit in it,"
next "${build}/cli/knot-fdt list" "the units knot-fdt sees, and a flash:"
next "${build}/cli/knot-fdt flash --model q --commit-wait-ms 0 samples/knot-q-sample.mot"
next "bash scripts/test.sh" "every test: installs the rest, builds every preset (about 35 min)"
