#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# the plain build, AddressSanitizer + UndefinedBehaviorSanitizer, ThreadSanitizer on the
# threaded code, the fuzz targets, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
run_preset() {
    local preset=$1
    shift
    echo "=== ${preset}"
    local begin=${SECONDS}
    cmake --preset "${preset}" >/dev/null
    cmake --build --preset "${preset}" -j "${jobs}" ${KNOT_BUILD_TARGET:+--target "${KNOT_BUILD_TARGET}"}
    local built=${SECONDS}
    ctest --preset "${preset}" -j "${jobs}" "$@"
    echo "=== ${preset}: built in $((built - begin)) s, tested in $((SECONDS - built)) s"
}

bash scripts/check-layout.sh
python3 scripts/check-type-names.py

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
run_preset default
run_preset asan
# Only the suites that run threads are worth ThreadSanitizer's time.
KNOT_BUILD_TARGET=threaded_tests run_preset tsan -L threads --no-tests=ignore
# The fuzz targets replay their seeds and run a fixed number of new inputs; a finding fails here.
bash scripts/fuzz.sh

# The README's main job as scripts/run.sh builds and runs it (the run preset); then, in the
# optimised build that benchmarks use, how the whole knot-fdt inspect process compares with
# srec_info on a full image: a figure to read, not a test. Only what the stage runs is built: the
# benchmark runs the run preset's knot-fdt (optimised as the release preset's), not a second one.
start=${SECONDS}
echo "=== run and release"
cmake --preset run >/dev/null
cmake --build --preset run -j "${jobs}"
bash scripts/flash-demo.sh build/run
cmake --preset release -DKNOT_BENCH_KNOT_FDT="${PWD}/build/run/cli/knot-fdt" >/dev/null
cmake --build --preset release -j "${jobs}" --target loader_bench
build/release/bench/loader_bench --benchmark_filter=InspectAgainstSrecInfo \
    --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
echo "=== run and release stage took $((SECONDS - start)) s"

# The Windows build, its tests under Wine. The prefix is made before the tests start, so that
# parallel test programs do not race to create it. Then a Wine server that stays 20 s after
# the last program, and its system services started away from CTest's output pipes: without
# them each test would wait for services it started to exit before CTest saw its end.
# The window suites need a display: the stage runs on a virtual one, in its own prefix.
start=${SECONDS}
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-${PWD}/build/wine}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
# shellcheck source=scripts/wine-display.sh
source scripts/wine-display.sh
start_wine_display
timeout 60 "${wineserver}" -w || true
"${wineserver}" -p20 </dev/null >/dev/null 2>&1 || true # another user's server may be up
"${wine}" wineboot </dev/null >/dev/null 2>&1
run_preset mingw
echo "=== mingw stage took $((SECONDS - start)) s"

# The Windows programs as users get them (static, stripped) and their installer, which is
# tested under Wine in a prefix of its own; the release folder holds them with their SHA256SUMS.
# Their time is the commit's, so that two builds of one commit are byte-identical.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 0)
export SOURCE_DATE_EPOCH
# Builds `preset` (what is shipped and the installer's test), packs its installer, lists the
# release folder with the sizes, and runs its tests.
release_stage() {
    local preset=$1
    local begin=${SECONDS}
    echo "=== ${preset}"
    cmake --preset "${preset}" >/dev/null
    cmake --build --preset "${preset}" -j "${jobs}"
    cpack --preset "${preset}" >/dev/null
    find "build/${preset}/release" -type f -printf '%s bytes  %p\n' | sort -k3
    # The x64 installer and its programs run under Wine's 64-bit loader; the x86 ones need its
    # 32-bit loader (Debian's wine32), which a mirror's broken i386 index can keep away.
    if [[ ! -x /usr/lib/wine/wine &&
        $(x86_64-w64-mingw32-objdump -f "build/${preset}/release/"*-setup.exe) == *pei-i386* ]]; then
        echo "=== ${preset}: NOT TESTED, Wine's 32-bit loader (Debian's wine32) is not installed;" \
            "these tests did not run:"
        ctest --preset "${preset}" -N | sed -n 's/^ *Test *#[0-9]*: /  /p'
    else
        ctest --preset "${preset}" -j "${jobs}"
    fi
    echo "=== ${preset} stage took $((SECONDS - begin)) s"
}
release_stage mingw-release

# The same for 32-bit x86; the 32-bit programs then run through the suites of the 64-bit test
# build (above) against its test driver.
release_stage mingw32-release

start=${SECONDS}
echo "=== Windows 7 imports and manifests"
bash scripts/check-windows-imports.sh build/mingw-release build/mingw32-release
bash scripts/check-windows-manifests.sh build/mingw-release build/mingw32-release
echo "=== Windows 7 imports and manifests stage took $((SECONDS - start)) s"

start=${SECONDS}
echo "=== reproducible"
bash scripts/check-reproducible.sh build/mingw32-release
echo "=== reproducible stage took $((SECONDS - start)) s"

start=${SECONDS}
echo "=== signing"
bash scripts/check-signing.sh build/mingw-release
echo "=== signing stage took $((SECONDS - start)) s"

# Windows resources: every script of the variants compiles with the MinGW resource compiler
# (the version they read is configured into the mingw build folder).
shopt -s nullglob
rc_files=(variants/*/*.rc)
shopt -u nullglob
if ((${#rc_files[@]})); then
    echo "=== resources"
    mkdir -p build/mingw/rc-check
    for rc in "${rc_files[@]}"; do
        dir=$(dirname "${rc}")
        x86_64-w64-mingw32-windres --include-dir "${dir}" --include-dir variants \
            --include-dir build/mingw/variants --include-dir app/qt -O coff -i "${rc}" \
            -o "build/mingw/rc-check/$(basename "${dir}")-$(basename "${rc}" .rc).o"
        echo "${rc}: ok"
    done
fi
