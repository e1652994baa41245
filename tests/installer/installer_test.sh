#!/usr/bin/env bash
# The Windows installer under Wine, in a throw-away prefix: a silent install puts the programs,
# their Start-menu entries and the trace folder in place, lets the local Users group (and no
# wider group) modify that one folder, knot-fdt list runs from the install folder, nothing
# changes while a window program runs, a silent uninstall removes the programs and the entries
# but keeps the trace files, as does an install over an earlier build's programs. Wine's icacls
# changes no rights and Wine derives a folder's rights from its Unix mode, so the rights cannot
# be read back here: a recorder stands in for icacls and the test checks what the installer
# asked of it, and that a refused grant makes the install fail. Each installer is a program of its
# architecture, so that a 32-bit Windows refuses to start the one for 64-bit Windows.
#
# installer_test.sh INSTALLER ICACLS_RECORDER INSTALL_DIR MENU_FOLDER TRACE_FOLDER PROGRAMS ENTRIES ARCH
#   INSTALL_DIR  relative to C:\ on 64-bit Windows; TRACE_FOLDER a Windows path on C:;
#   PROGRAMS     a CMake list of the installed programs (without .exe);
#   ENTRIES      a CMake list of program;label pairs, one Start-menu entry each;
#   ARCH         x64 or x86, the programs' architecture.
set -euo pipefail

installer=$1
icacls_recorder=$2
install_dir="C:\\$3"
menu_folder=$4
trace_folder=$5
IFS=';' read -r -a programs <<<"$6"
IFS=';' read -r -a entries <<<"${7:-}"
arch=$8

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEDEBUG=-all
WINEPREFIX=$(mktemp -d "${PWD}/installer-prefix.XXXXXX")
export WINEPREFIX
# shellcheck source=scripts/wine-display.sh
source "$(dirname "$0")/../../scripts/wine-display.sh"
start_wine_display # a display of its own for the window program run below
cleanup() {
    "${wineserver}" -k 2>/dev/null || true
    rm -rf "${WINEPREFIX}"
    kill "${KNOT_XVFB_PID}" 2>/dev/null || true
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
unix_path() { # C:\a\b -> the prefix's drive_c/a/b
    local rest=${1#[Cc]:\\}
    printf '%s/drive_c/%s' "${WINEPREFIX}" "${rest//\\//}"
}
# Waits until every program of the prefix has ended (the uninstaller runs a copy of itself).
wait_for_prefix() { timeout 60 "${wineserver}" -w || fail "Wine programs still running after 60 s"; }

wait_for_prefix

# The recorder, a program of the installer's architecture, answers for that architecture's
# icacls.exe (native before Wine's builtin): the x86 installer runs the 32-bit system's.
declare -A system_folder=([x64]=system32 [x86]=syswow64)
cp "${icacls_recorder}" "${WINEPREFIX}/drive_c/windows/${system_folder[${arch}]}/icacls.exe"
export WINEDLLOVERRIDES="icacls.exe=n"
export KNOT_ICACLS_LOG='C:\icacls.log'
icacls_log="${WINEPREFIX}/drive_c/icacls.log"
run_installer() { "${wine}" "$(realpath "${installer}")" /S </dev/null >/dev/null 2>&1; }

echo "--- silent install"
run_installer || fail "installer exit status $?"
wait_for_prefix

menu="${WINEPREFIX}/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/${menu_folder}"
installed=()
for program in "${programs[@]}"; do
    installed+=("$(unix_path "${install_dir}\\${program}.exe")")
done
installed+=("$(unix_path "${install_dir}\\Uninstall.exe")")
shortcuts=("${menu}/Uninstall.lnk")
for ((i = 1; i < ${#entries[@]}; i += 2)); do
    shortcuts+=("${menu}/${entries[i]}.lnk")
done
for file in "${installed[@]}" "${shortcuts[@]}"; do
    [[ -f "${file}" ]] || fail "not installed: ${file}"
done
# Each program needs no DLL beyond Windows' own: every DLL it imports is one of the system's,
# which Wine keeps in system32 (a MinGW runtime DLL, say, is not there).
system32="${WINEPREFIX}/drive_c/windows/system32"
for program in "${programs[@]}"; do
    exe=$(unix_path "${install_dir}\\${program}.exe")
    [[ -f "${exe}" ]] || continue
    while read -r dll; do
        [[ -n "$(find "${system32}" -maxdepth 1 -iname "${dll}")" ]] ||
            fail "${program}.exe needs ${dll}, which Windows does not have"
    done < <(x86_64-w64-mingw32-objdump -p "${exe}" | sed -n 's/^[[:space:]]*DLL Name: //p')
done
trace_dir=$(unix_path "${trace_folder}")
[[ -d "${trace_dir}" ]] || fail "no trace folder ${trace_folder}"

echo "--- rights"
# One grant, on the trace folder only: Users by SID, modify (M, not full control), inherited
# by the files (OI) and folders (CI) made in it.
expected="${trace_folder}
/grant
*S-1-5-32-545:(OI)(CI)M
--"
asked=$(tr -d '\r' <"${icacls_log}" 2>/dev/null || true)
[[ "${asked}" == "${expected}" ]] ||
    fail "icacls asked for '${asked//$'\n'/ }' instead of '${expected//$'\n'/ }'"

echo "--- knot-fdt list"
list_out=$("${wine}" "${install_dir}\\knot-fdt.exe" list 2>&1 </dev/null) || fail "knot-fdt list exit status $?"
echo "${list_out}"

echo "--- a window program running"
# Its title is its Start-menu label. The uninstaller gives its status when run in place (_?=, the
# folder as words: Wine would quote it whole, hiding the switch).
"${wine}" "${install_dir}\\${entries[0]}.exe" </dev/null >/dev/null 2>&1 &
timeout 60 xdotool search --sync --name "${entries[1]}" >/dev/null || fail "no program window"
read -r -a in_place <<<"_?=${install_dir}"
"${wine}" "${install_dir}\\Uninstall.exe" /S "${in_place[@]}" </dev/null >/dev/null 2>&1 &&
    fail "uninstall with a program running ended with status 0"
run_installer && fail "install with a program running ended with status 0"
for file in "${installed[@]}" "${shortcuts[@]}"; do [[ -f "${file}" ]] || fail "removed: ${file}"; done
"${wine}" taskkill /IM "${entries[0]}.exe" </dev/null >/dev/null 2>&1 # its close box
wait_for_prefix

echo "--- silent uninstall"
trace="${trace_dir}/debugZu.txt"
printf '      7C,1165467890,     BinSendToDevice,[\x01]<1>\r\n' >"${trace}"
cp "${trace}" "${WINEPREFIX}/trace.before"
"${wine}" "${install_dir}\\Uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "uninstaller exit status $?"
wait_for_prefix
for file in "${installed[@]}" "${shortcuts[@]}"; do
    [[ ! -e "${file}" ]] || fail "left after uninstall: ${file}"
done
[[ ! -e "$(unix_path "${install_dir}")" ]] || fail "install folder left after uninstall"
cmp -s "${trace}" "${WINEPREFIX}/trace.before" || fail "trace file not kept by the uninstall"

echo "--- install over an earlier build's programs (this build's with a byte more)"
run_installer || fail "installer exit status $?"
for exe in "${installed[@]:0:${#programs[@]}}"; do cp "${exe}" "${WINEPREFIX}" && echo >>"${exe}"; done
run_installer || fail "install over an earlier build: exit status $?"
for exe in "${installed[@]:0:${#programs[@]}}"; do
    cmp -s "${exe}" "${WINEPREFIX}/${exe##*/}" || fail "not replaced: ${exe}"
done
cmp -s "${trace}" "${WINEPREFIX}/trace.before" || fail "trace file not kept by the install"

echo "--- a refused grant"
# The installer says so (its exit status) instead of leaving a folder that standard users
# cannot write.
if KNOT_ICACLS_STATUS=5 run_installer; then
    fail "install succeeded although icacls refused the grant"
fi
wait_for_prefix

echo "--- the installer's architecture"
# A 32-bit Windows starts no program of another architecture: the installer for 64-bit Windows
# is never run there.
declare -A pe_format=([x64]=pei-x86-64 [x86]=pei-i386)
format=$(x86_64-w64-mingw32-objdump -f "${installer}" | sed -n 's/.*file format //p')
[[ ${format} == "${pe_format[${arch}]}" ]] || fail "the ${arch} installer is ${format}"

((failures == 0)) && echo "installer: all checks passed"
exit $((failures != 0))
