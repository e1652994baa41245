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
# Runs one target; its lines go to ${work}/TARGET.out and a finding leaves ${work}/TARGET.failed.
fuzz_target() {
    local target=$1
    local program=build/fuzz/fuzz/knot_${target}_fuzz seeds=fuzz/seeds/${target}
    local corpus=${work}/${target} started=${SECONDS} count speed
    mkdir -p "${corpus}" "${work}/findings-${target}"
    count=$(find "${seeds}" -type f | wc -l)
    # The new inputs grow a scratch corpus; the checked-in seeds are only read.
    if ! "${program}" -seed=1 -timeout=30 -runs=$((count + runs[${target}])) \
        -artifact_prefix="${work}/findings-${target}/" -print_final_stats=1 \
        "${corpus}" "${seeds}" >"${work}/${target}.log" 2>&1; then
        touch "${work}/${target}.failed"
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
}

# Each target is one process on one core: they run side by side, and each explores the same
# inputs as it would alone.
for target in loader unit session; do
    fuzz_target "${target}" >"${work}/${target}.out" 2>&1 &
done
wait
status=0
for target in loader unit session; do
    cat "${work}/${target}.out"
    [[ ! -e ${work}/${target}.failed ]] || status=1
done
echo "=== fuzz stage took $((SECONDS - begin)) s"
exit "${status}"
