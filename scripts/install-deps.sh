#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing.
# install-deps.sh [--check] [SET]
#   SET      all (the default): everything scripts/test.sh needs;
#            run: only what building and running the programs needs (scripts/run.sh), without the
#            packages they recommend; run-cli and run-qt: its two halves, the compiler, CMake,
#            Ninja and the libraries knot-fdt links, and Qt for the window programs.
#   --check  installs nothing: exits with status 1 when a package of SET is missing.
set -euo pipefail

check=0
if [[ ${1:-} == --check ]]; then
    check=1
    shift
fi
run_cli_packages=(g++ cmake ninja-build libcli11-dev nlohmann-json3-dev libssl-dev unixodbc-dev)
run_qt_packages=(qt6-base-dev)
# What the tests, the benchmarks, the fuzz targets and the Windows builds add (the line's tests
# run a real PostgreSQL through its ODBC driver, promtool and node_exporter).
test_packages=(
    build-essential clang clang-format
    libgtest-dev libgmock-dev googletest libbenchmark-dev python3-jsonschema
    fonts-dejavu-core fonts-liberation
    g++-mingw-w64-x86-64 g++-mingw-w64-i686-posix wine64 wine32:i386 nsis osslsigncode openssl
    xvfb xdotool
    srecord
    postgresql odbc-postgresql unixodbc prometheus prometheus-node-exporter
)
apt_options=(--no-install-recommends)
case ${1:-all} in
run) packages=("${run_cli_packages[@]}" "${run_qt_packages[@]}") ;;
run-cli) packages=("${run_cli_packages[@]}") ;;
run-qt) packages=("${run_qt_packages[@]}") ;;
all)
    packages=("${run_cli_packages[@]}" "${run_qt_packages[@]}" "${test_packages[@]}")
    apt_options=()
    ;;
*)
    echo "usage: install-deps.sh [--check] [all|run|run-cli|run-qt]" >&2
    exit 64
    ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((check)); then
    exit $((${#missing[@]} > 0))
fi
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    # wine32 (the 32-bit Windows programs under Wine) is a package of the i386 architecture.
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo_cmd[@]}" dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    # A mirror in the middle of a sync serves index files of the wrong size for a while: try
    # again, then install from whatever index did arrive.
    for attempt in 1 2 3; do
        errors=$("${sudo_cmd[@]}" apt-get update -q 2>&1 >/dev/null) && break
        printf '%s\n' "${errors}" >&2
        echo "apt-get update failed (attempt ${attempt} of 3)" >&2
        # When every file that failed is of the i386 index, a retry fetches the same broken file
        # (some mirrors serve it so for days): go on without it.
        failed=$(grep '^E: Failed to fetch' <<<"${errors}" || true)
        if [[ -n ${failed} ]] && ! grep -qv 'i386' <<<"${failed}"; then
            break
        fi
        [ "${attempt}" -eq 3 ] || sleep $((attempt * 20))
    done
    if ! "${sudo_cmd[@]}" apt-get install -y -q "${apt_options[@]}" "${missing[@]}"; then
        # Without the i386 index only the 32-bit Wine loader is out of reach: everything else is
        # installed, and scripts/test.sh builds the x86 installer and the 32-bit programs without
        # running them.
        others=()
        for p in "${missing[@]}"; do
            [[ ${p} == *:i386 ]] || others+=("$p")
        done
        ((${#others[@]} < ${#missing[@]})) || exit 1
        "${sudo_cmd[@]}" apt-get install -y -q "${apt_options[@]}" "${others[@]}"
        echo "WARNING: the i386 packages could not be installed; the x86 installer and the 32-bit" \
            "Windows programs will be built but not run" >&2
    fi
fi
