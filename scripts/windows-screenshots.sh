#!/usr/bin/env bash
# Screenshots of the native Windows programs under Wine, on a virtual display, into
# docs/screenshots/KNOT-Q_FDT-windows.png and KNOT-P_FDT-windows.png at 96 DPI (100 %), and
# KNOT-?_FDT-windows-144dpi.png and -192dpi.png at 150 % and 200 %: a simulated unit plugged in
# and identified, the model's sample loaded; the station window into KNOT-Station-windows.png at
# 96 DPI, four slots in four states (passed, failed, writing, committed). Then each real program
# is started once, and the time to its shown window and to its end after Escape is printed.
# Usage: scripts/windows-screenshots.sh   (builds the mingw preset's targets it needs)
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset mingw >/dev/null
cmake --build --preset mingw --target knot-win32-window-shot-q knot-win32-window-shot-p \
    knot-win32-station-shot KNOT-Q_FDT KNOT-P_FDT >/dev/null
build=build/mingw
wine=/usr/lib/wine/wine64
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-${PWD}/build/wine-screenshots}
# shellcheck source=scripts/wine-display.sh
source scripts/wine-display.sh
start_wine_display

mkdir -p docs/screenshots
# Wine's display scale is the prefix's LogPixels, read by each program as it starts.
for dpi in 144 192 96; do
    "${wine}" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "${dpi}" /f \
        </dev/null >/dev/null 2>&1
    for model in q p; do
        shot=docs/screenshots/KNOT-${model^^}_FDT-windows$([[ ${dpi} == 96 ]] || echo "-${dpi}dpi").png
        "${wine}" "${build}/tests/win32_window/knot-win32-window-shot-${model}.exe" "${model}" \
            "${shot}" "samples/knot-${model}-sample.mot" >/dev/null
        echo "${shot}"
    done
done
# The loop ends at 96 DPI.
station_shot=docs/screenshots/KNOT-Station-windows.png
"${wine}" "${build}/tests/win32_window/knot-win32-station-shot.exe" "${station_shot}" \
    samples/knot-q-sample.mot >/dev/null
echo "${station_shot}"

# The real programs: started to a shown window, then ended with Escape.
if command -v xdotool >/dev/null; then
    for model in q p; do
        program=KNOT-${model^^}_FDT
        began=$(date +%s%N)
        "${wine}" "${build}/app/win32/${program}.exe" >/dev/null 2>&1 &
        pid=$!
        window=$(timeout 60 xdotool search --sync --name "ZU-KNOT-${model^^} Flash Data Transfer Tool" |
            head -n1)
        shown=$(date +%s%N)
        xdotool windowfocus --sync "${window}" key Escape
        wait "${pid}" || true
        ended=$(date +%s%N)
        echo "${program}.exe: window shown after $(((shown - began) / 1000000)) ms," \
            "ended $(((ended - shown) / 1000000)) ms after Escape"
    done
fi
