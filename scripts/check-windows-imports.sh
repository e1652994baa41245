#!/usr/bin/env bash
# Every function that a shipped Windows program imports must be one that Windows 7 SP1 has
# (packaging/windows/windows7-sp1-imports.txt), and each program must ask for subsystem version
# 6.1 at most; a call of a later Windows is looked up at run time instead. Prints each program's
# imports by DLL.
# check-windows-imports.sh BUILD_DIR...   (a Windows release build: its shipped-programs.txt and
#                                          its release folder's installer)
set -euo pipefail
allowed_list="$(dirname "$0")/../packaging/windows/windows7-sp1-imports.txt"
objdump=x86_64-w64-mingw32-objdump # reads 32-bit and 64-bit programs alike
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
declare -A allowed=()
while read -r dll function _; do
    [[ -z ${dll} || ${dll} == \#* ]] || allowed["${dll,,} ${function}"]=1
done <"${allowed_list}"

# Prints "dll function" for each import of $1 (a function imported by ordinal as ordinal-N, N
# in hexadecimal as objdump shows it).
imports_of() {
    "${objdump}" -p "$1" | awk '
        /^\tDLL Name: / { dll = tolower($3); next }
        /^\t[[:space:]]*$/ || /^[^\t]/ { dll = "" }
        dll != "" && /^\t[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[^[:space:]]+$/ { print dll, $3 }
        dll != "" && /^\t[0-9a-f]+[[:space:]]+<none>[[:space:]]+[0-9a-f]+$/ { print dll, "ordinal-" $3 }'
}

check_program() {
    local program=$1 name
    name=$(basename "${program}")
    local major minor
    major=$("${objdump}" -p "${program}" | awk '/^MajorSubsystemVersion/ { print $2 }')
    minor=$("${objdump}" -p "${program}" | awk '/^MinorSubsystemVersion/ { print $2 }')
    ((major < 6 || (major == 6 && minor <= 1))) ||
        fail "${name}: subsystem version ${major}.${minor}, above Windows 7's 6.1"
    local -A by_dll=()
    local count=0 dll function
    while read -r dll function; do
        count=$((count + 1))
        by_dll[${dll}]+=" ${function}"
        [[ -n ${allowed["${dll} ${function}"]:-} ]] ||
            fail "${name} imports ${function} from ${dll}, which is not known to be in Windows 7 SP1"
    done < <(imports_of "${program}")
    ((count > 0)) || fail "${name}: no import found (not a Windows program?)"
    echo "${name} (subsystem ${major}.${minor}, ${count} functions):"
    for dll in $(printf '%s\n' "${!by_dll[@]}" | sort); do
        echo "  ${dll}:${by_dll[${dll}]}"
    done
}

for build in "$@"; do
    programs=()
    mapfile -t programs <"${build}/shipped-programs.txt"
    programs+=("${build}"/release/*-setup.exe)
    for program in "${programs[@]}"; do
        [[ -f ${program} ]] || fail "missing: ${program}"
        [[ -f ${program} ]] && check_program "${program}"
    done
done
((failures == 0)) || exit 1
echo "imports: every program imports only what Windows 7 SP1 has"
