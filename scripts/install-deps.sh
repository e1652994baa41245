#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build clang clang-format
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libcli11-dev nlohmann-json3-dev libssl-dev python3-jsonschema
    qt6-base-dev fonts-dejavu-core fonts-liberation
    g++-mingw-w64-x86-64 g++-mingw-w64-i686-posix wine64 wine32:i386 nsis osslsigncode openssl
    xvfb xdotool
    srecord
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    # wine32 (the 32-bit Windows programs under Wine) is a package of the i386 architecture.
    dpkg --print-foreign-architectures | grep -qx i386 || "${sudo_cmd[@]}" dpkg --add-architecture i386
    export DEBIAN_FRONTEND=noninteractive
    # A mirror in the middle of a sync serves index files of the wrong size for a while: try
    # again, then install from whatever index did arrive.
    for attempt in 1 2 3; do
        "${sudo_cmd[@]}" apt-get update -q && break
        echo "apt-get update failed (attempt ${attempt} of 3)" >&2
        [ "${attempt}" -eq 3 ] || sleep $((attempt * 20))
    done
    if ! "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"; then
        # Without the i386 index only the 32-bit Wine loader is out of reach: everything else is
        # installed, and scripts/test.sh builds the installers and the 32-bit programs without
        # running them.
        others=()
        for p in "${missing[@]}"; do
            [[ ${p} == *:i386 ]] || others+=("$p")
        done
        ((${#others[@]} < ${#missing[@]})) || exit 1
        "${sudo_cmd[@]}" apt-get install -y -q "${others[@]}"
        echo "WARNING: the i386 packages could not be installed; the installers and the 32-bit" \
            "Windows programs will be built but not run" >&2
    fi
fi
