#!/usr/bin/env bash
# Renders the main window of each program to docs/screenshots/KNOT-Q_FDT.png and KNOT-P_FDT.png on
# Qt's offscreen platform: a simulated unit plugged in and identified, the model's sample loaded.
# And the station window to docs/screenshots/KNOT-Station.png: four simulated units in four slots,
# one written, one failed, one committed and one writing (it takes about fifteen seconds).
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default build/default, configured with the window)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build/default}
if [ ! -f "$build_dir/build.ninja" ] && [ ! -f "$build_dir/Makefile" ]; then
    cmake --preset default >/dev/null
    build_dir=build/default
fi
cmake --build "$build_dir" --target knot-window-shot knot-station-shot >/dev/null
shot=$(find "$build_dir" -name knot-window-shot -type f -perm -u+x | head -n1)
station_shot=$(find "$build_dir" -name knot-station-shot -type f -perm -u+x | head -n1)
mkdir -p docs/screenshots
for model in q p; do
    program=KNOT-${model^^}_FDT
    QT_QPA_PLATFORM=offscreen "$shot" "$model" "docs/screenshots/$program.png" \
        "samples/knot-$model-sample.mot" >/dev/null 2>&1
    echo "docs/screenshots/$program.png"
done
QT_QPA_PLATFORM=offscreen "$station_shot" docs/screenshots/KNOT-Station.png \
    samples/knot-q-sample.mot >/dev/null 2>&1
echo docs/screenshots/KNOT-Station.png
