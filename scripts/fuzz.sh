#!/usr/bin/env bash
# The fuzz stage of CI: builds the fuzz preset, then each target replays its checked-in seeds
# and runs a fixed number of new inputs from a fixed seed, so that every run explores the same
# inputs. A finding (a broken promise, a crash, a leak, an input that runs for more than
# 30 s) fails the stage and prints the input in base64; README.md says how to replay it.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
# New inputs per target beyond its seeds.
declare -A runs=([loader]=100000 [unit]=10000 [session]=20000)

begin=${SECONDS}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${jobs}"
echo "=== fuzz: built in $((SECONDS - begin)) s"

work=$(mktemp -d)
trap 'rm -rf "${work}"' EXIT
status=0
for target in loader unit session; do
    program=build/fuzz/fuzz/knot_${target}_fuzz
    seeds=fuzz/seeds/${target}
    corpus=${work}/${target}
    mkdir -p "${corpus}" "${work}/findings-${target}"
    started=${SECONDS}
    count=$(find "${seeds}" -type f | wc -l)
    # The new inputs grow a scratch corpus; the checked-in seeds are only read.
    if ! "${program}" -seed=1 -timeout=30 -runs=$((count + runs[${target}])) \
        -artifact_prefix="${work}/findings-${target}/" -print_final_stats=1 \
        "${corpus}" "${seeds}" >"${work}/${target}.log" 2>&1; then
        status=1
        grep -E 'broken promise|ERROR|SUMMARY' "${work}/${target}.log" | head -5 || true
        for finding in "${work}/findings-${target}"/*; do
            [[ -f "${finding}" ]] || continue
            echo "finding of knot_${target}_fuzz ($(basename "${finding}")), base64:"
            base64 -w0 "${finding}"
            echo
        done
    fi
    speed=$(grep -oE 'stat::average_exec_per_sec: *[0-9]+' "${work}/${target}.log" | grep -oE '[0-9]+$' || echo '?')
    echo "=== fuzz: knot_${target}_fuzz, ${count} seeds and ${runs[${target}]} new inputs in $((SECONDS - started)) s (${speed} per second)"
done
echo "=== fuzz stage took $((SECONDS - begin)) s"
exit "${status}"
