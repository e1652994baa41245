#!/usr/bin/env bash
# knot-fdt.exe against knot-unit-sim.exe and its test driver under Wine, end to end:
# full flashes whose capture must equal, byte for byte, the Linux simulator's capture of the
# same run; a removal during the commit wait, caught through the driver's named event; a silent
# unit, ended by the port's bound; list and info; a second writer of a unit refused.
# Arguments: the Windows build folder, the native (Linux) build folder, the samples folder, and
# optionally another build's knot-fdt.exe to run (the 32-bit one) instead of the Windows build's.
# WINEPREFIX names the prefix (driver_prefix.sh made it); it must not be shared with a parallel run.
set -uo pipefail
mingw=$1 native=$2 samples=$3
export WINEDEBUG=-all
wine=/usr/lib/wine/wine64
sim="${mingw}/sim/win32/knot-unit-sim.exe"
fdt=${4:-${mingw}/cli/knot-fdt.exe}
native_sim="${native}/sim/knot-unit-sim"
native_fdt="${native}/cli/knot-fdt"
work=$(mktemp -d)
# Windows programs reach Unix paths through drive Z: (a bare /path would read as an option there).
winsamples="Z:${samples}"
wincapture() { echo "Z:${work}/$1"; }
failures=0
server=

fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

# Waits (at most 30 s) for the server's first line; the server then serves.
wait_for_line() {
    local file=$1 pattern=$2
    for _ in $(seq 300); do
        grep -q "${pattern}" "${file}" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

start_server() {
    "${wine}" "${sim}" serve "$@" >"${work}/serve.out" 2>&1 </dev/null &
    server=$!
    wait_for_line "${work}/serve.out" "serving" || {
        cat "${work}/serve.out" >&2
        echo "knot-unit-sim.exe did not start" >&2
        exit 1
    }
}

stop_server() {
    [[ -n ${server} ]] || return 0
    "${wine}" "${sim}" stop >/dev/null || kill "${server}"
    wait "${server}"
    server=
}

plug() {
    "${wine}" "${sim}" plug "$@" >/dev/null || fail "plug $*"
}

trap 'stop_server; rm -rf "${work}"' EXIT

# The capture of one flash on Linux: the simulator the Linux tests use, through its own port.
native_capture() {
    local model=$1 size=$2 capture=$3
    export KNOT_SIM_DIR="${work}/native"
    "${native_sim}" serve --capture "${capture}" >"${work}/native.out" 2>&1 </dev/null &
    local pid=$!
    wait_for_line "${work}/native.out" "serving" || fail "the Linux simulator did not start"
    "${native_sim}" plug --packet-size "${size}" >/dev/null
    "${native_fdt}" flash --model "${model}" --commit-wait-ms 0 \
        "${samples}/knot-${model}-sample.mot" >/dev/null 2>&1 || fail "Linux flash ${model} ${size}"
    kill -TERM "${pid}"
    wait "${pid}"
    unset KNOT_SIM_DIR
}

if [[ ! -x ${native_sim} || ! -x ${native_fdt} ]]; then
    echo "the native build (${native}) has no knot-unit-sim and knot-fdt: build the default preset first" >&2
    exit 1
fi

# Both models, both packet sizes: model q with 64-byte packets, model p with 62-byte ones.
for run in "q 64" "p 62"; do
    read -r model size <<<"${run}"
    native_capture "${model}" "${size}" "${work}/linux-${model}.txt"
    start_server --capture "$(wincapture "wine-${model}.txt")"
    plug --packet-size "${size}"
    "${wine}" "${fdt}" flash --model "${model}" --commit-wait-ms 0 \
        "${winsamples}/knot-${model}-sample.mot" >"${work}/flash.out" 2>&1 ||
        fail "flash ${model} ${size}: $(tail -2 "${work}/flash.out")"
    # A file is no console: plain lines, no escape sequence.
    ! grep -q $'\x1b' "${work}/flash.out" || fail "flash ${model} ${size}: escape sequences in a file"
    stop_server
    if ! cmp -s "${work}/linux-${model}.txt" "${work}/wine-${model}.txt"; then
        fail "flash ${model} ${size}: the capture differs from the Linux simulator's"
        diff "${work}/linux-${model}.txt" "${work}/wine-${model}.txt" | head -5 >&2
    fi
done

start_server --capture "$(wincapture faults.txt)"

# list and info: a foreign unit first, the unit after it.
plug --product 0x1234 --number 4
plug --packet-size 62 --number 7 --program-name LISTED --version 2.5 --checksum 0A5F
"${wine}" "${fdt}" list >"${work}/list.out" 2>&1 || fail "list exits $?"
grep -Eq '^4 +64 +0x0ABC +0x1234 +no: .*pid_1234#00001#unit4#' "${work}/list.out" ||
    fail "list: the foreign unit: $(cat "${work}/list.out")"
grep -Eq '^7 +62 +0x0ABC +0x7832 +yes .*pid_7832#00002#unit7#' "${work}/list.out" ||
    fail "list: the unit: $(cat "${work}/list.out")"
"${wine}" "${fdt}" info --model q >"${work}/info.out" 2>&1 || fail "info exits $?"
for row in "Program Name  LISTED" "Version       2.5" "Check SUM     0A5F"; do
    grep -q "${row}" "${work}/info.out" || fail "info: no \"${row}\": $(cat "${work}/info.out")"
done
"${wine}" "${sim}" unplug 4 && "${wine}" "${sim}" unplug 7 || fail "unplug"

# Unplugged during the commit wait: only the driver's named event tells; nothing follows the commit.
plug --fault unplug=wait:50
"${wine}" "${fdt}" flash --model q --commit-wait-ms 5000 "${winsamples}/knot-q-sample.mot" \
    >"${work}/removed.out" 2>&1
status=$?
[[ ${status} == 5 ]] || fail "removal: exit ${status}, not 5"
grep -q "stage wait: the unit was unplugged" "${work}/removed.out" ||
    fail "removal: $(tail -2 "${work}/removed.out")"
grep ' R ' "${work}/faults.txt" | tail -1 | grep -q '^0 R 010070003000000000003F80' ||
    fail "removal: something was sent after the commit: $(tail -1 "${work}/faults.txt" | cut -c1-40)"

# A silent unit: the driver holds the receive; the port's bound ends it (the guard is far above).
plug --fault silent=flash:2
timeout 60 "${wine}" "${fdt}" flash --model q --commit-wait-ms 0 "${winsamples}/knot-q-sample.mot" \
    >"${work}/silent.out" 2>&1
status=$?
[[ ${status} == 5 ]] || fail "silent unit: exit ${status}, not 5 (124: it hung)"
grep -q "stage flash at block 2: the unit stopped answering" "${work}/silent.out" ||
    fail "silent unit: $(tail -2 "${work}/silent.out")"

# A program killed while the driver holds its receive; the next program's refusal comes through.
"${wine}" "${sim}" unplug 0 || fail "unplug the silent unit"
plug --number 9 --fault silent=query:1 --fault refuse=flash:3
"${wine}" "${fdt}" info --model q >/dev/null 2>&1 &
killed=$!
for _ in $(seq 300); do
    grep -q "^9 R 01007000300000000000083" "${work}/faults.txt" && break
    sleep 0.1
done
kill -KILL "${killed}"
wait "${killed}"
timeout 60 "${wine}" "${fdt}" flash --model q --commit-wait-ms 0 "${winsamples}/knot-q-sample.mot" \
    >"${work}/refused.out" 2>&1
grep -q "stage flash at block 3: the unit refused it" "${work}/refused.out" ||
    fail "after a killed program: $(tail -1 "${work}/refused.out")"

# One writer per unit: a second knot-fdt.exe on the unit that the first one writes sends nothing.
plug --number 8
"${wine}" "${fdt}" flash --model q --unit 8 --commit-wait-ms 6000 "${winsamples}/knot-q-sample.mot" \
    >"${work}/holder.out" 2>&1 &
holder=$!
wait_for_line "${work}/holder.out" "prepare  acknowledged" || fail "lock: the first flash did not start"
"${wine}" "${fdt}" flash --model q --unit 8 --commit-wait-ms 0 "${winsamples}/knot-q-sample.mot" \
    >"${work}/second.out" 2>&1
status=$?
[[ ${status} == 6 ]] || fail "lock: the second flash exits ${status}, not 6"
grep -q "unit 8 is busy: another program is writing it" "${work}/second.out" ||
    fail "lock: $(tail -2 "${work}/second.out")"
wait "${holder}" || fail "lock: the first flash exits $?: $(tail -2 "${work}/holder.out")"

# A server that died leaves its devices, service and loaded driver; the next one replaces them.
kill -KILL "${server}"
wait "${server}"
server=
start_server
stop_server
# What the server installed is gone.
if "${wine}" reg query 'HKLM\System\CurrentControlSet\Services\knot_unit' >/dev/null 2>&1; then
    fail "the service knot_unit is left installed"
fi
[[ ${failures} == 0 ]] && echo "all passed"
exit $((failures > 0))
