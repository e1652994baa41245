#!/usr/bin/env bash
# A throw-away Wine prefix (driver, DPI suites): "setup DIR [DPI]" makes it and starts its
# server and system services away from CTest's output pipes (a service that inherited them
# would hold every test open until it ended), and leaves its windows unmanaged as on the stage's
# display, at the DPI given; "cleanup DIR" stops them and removes the prefix.
set -euo pipefail
# shellcheck source=scripts/wine-display.sh
source "$(dirname "$0")/../../scripts/wine-display.sh"
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
case ${action} in
setup)
    rm -rf "${WINEPREFIX}"
    "${wine}" wineboot --init </dev/null >/dev/null 2>&1
    timeout 60 "${wineserver}" -w || true
    "${wineserver}" -p30 </dev/null >/dev/null 2>&1
    "${wine}" wineboot </dev/null >/dev/null 2>&1
    leave_wine_windows_unmanaged
    [[ -z ${3:-} ]] || "${wine}" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
        /d "$3" /f </dev/null >/dev/null 2>&1
    ;;
cleanup)
    if [[ -d ${WINEPREFIX} ]]; then
        "${wineserver}" -k </dev/null >/dev/null 2>&1 || true
        timeout 60 "${wineserver}" -w || true
        rm -rf "${WINEPREFIX}"
    fi
    ;;
*)
    echo "usage: driver_prefix.sh setup|cleanup DIR" >&2
    exit 2
    ;;
esac
