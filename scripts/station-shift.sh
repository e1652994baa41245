#!/usr/bin/env bash
# A scripted shift for knot-fdt station against knot-unit-sim: CYCLES cycles (200) of 4 units
# plugged at once, each with a random fault or none, unplugged once their runs are recorded.
# Checks that every record matches the fault injected, that no unit is flashed twice in one plug
# and no lane is lost, and prints the station's resident memory, open descriptors and threads
# after the first and after the last cycle.
#   scripts/station-shift.sh [BUILD_DIR] [CYCLES] [COMMIT_WAIT_MS]
set -euo pipefail
build=${1:-build/default}
cycles=${2:-200}
wait_ms=${3:-0}
RANDOM=${KNOT_SHIFT_SEED:-$$} # the faults of a shift can be had again with its seed
echo "seed ${KNOT_SHIFT_SEED:-$$}"
sim=$build/sim/knot-unit-sim
fdt=$build/cli/knot-fdt
image=$(cd "$(dirname "$0")/.." && pwd)/samples/knot-p-sample.mot
work=$(mktemp -d /tmp/knot-shift-XXXXXX)
export KNOT_SIM_DIR=$work/rendezvous
"$sim" serve > "$work/serve.txt" 2>&1 &
server=$!
station=
cleanup() {
    [ -n "$station" ] && kill -INT "$station" 2> /dev/null && wait "$station" 2> /dev/null
    kill "$server" 2> /dev/null
    wait "$server" 2> /dev/null || true
    [ -n "${KNOT_SHIFT_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
until grep -q serving "$work/serve.txt"; do sleep 0.05; done
"$fdt" station --model p --commit-wait-ms "$wait_ms" --report "$work/shift.jsonl" "$image" \
    > "$work/out.txt" 2> "$work/err.txt" &
station=$!
until grep -q "waiting for units" "$work/out.txt"; do sleep 0.05; done

# Waits until `command` prints `want`, for at most 60 s.
await() {
    local want=$1
    shift
    for _ in $(seq 1 1200); do
        [ "$("$@")" = "$want" ] && return 0
        sleep 0.05
    done
    echo "gave up waiting: $* is $("$@"), not $want" >&2
    return 1
}
records() { [ -f "$work/shift.jsonl" ] && wc -l < "$work/shift.jsonl" || echo 0; }
gone() { grep -c ' unplugged$' "$work/out.txt" || true; }
facts() {
    printf 'rss_kib=%s fds=%s threads=%s\n' \
        "$(awk '/VmRSS/ {print $2}' "/proc/$station/status")" \
        "$(ls "/proc/$station/fd" | wc -l)" \
        "$(awk '/Threads/ {print $2}' "/proc/$station/status")"
}

declare -A expected
mismatches=0
for cycle in $(seq 1 "$cycles"); do
    for unit in 0 1 2 3; do
        block=$((RANDOM % 38 + 1))
        case $((RANDOM % 4)) in
            0) fault=(--fault "refuse=flash:$block"); expected[$unit]="failed flash $block" ;;
            1) fault=(--fault "unplug=flash:$block"); expected[$unit]="failed flash $block" ;;
            *) fault=(); expected[$unit]="written" ;;
        esac
        got=$("$sim" plug --number "$unit" "${fault[@]}")
        if [ "$got" != "$unit" ]; then
            echo "cycle $cycle: plug gave unit \"$got\", not $unit" >&2
            exit 1
        fi
    done
    await $((cycle * 4)) records
    while read -r line; do
        unit=${line%% *}
        if [ "${line#* }" != "${expected[$unit]}" ]; then
            echo "cycle $cycle unit $unit: recorded \"${line#* }\", injected \"${expected[$unit]}\"" >&2
            mismatches=$((mismatches + 1))
        fi
    done < <(tail -n 4 "$work/shift.jsonl" |
        jq -r '"\(.deviceNumber) \(.result)\(if .failure then " \(.failure.stage) \(.failure.block)" else "" end)"')
    for unit in 0 1 2 3; do "$sim" unplug "$unit" > /dev/null 2>&1 || true; done
    await $((cycle * 4)) gone
    if [ "$cycle" = 1 ] || [ $((cycle % 50)) = 0 ]; then echo "after cycle $cycle: $(facts)"; fi
done
kill -INT "$station"
status=0
wait "$station" || status=$?
station=
echo "records: $(records) of $((cycles * 4)), mismatches: $mismatches, exit status $status"
tail -n 1 "$work/out.txt"
