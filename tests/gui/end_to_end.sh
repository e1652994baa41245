#!/usr/bin/env bash
# Runs the real KNOT-Q_FDT and KNOT-P_FDT under Xvfb against a knot-unit-sim process: each shows
# its model's title, identifies the plugged unit with its model's three queries, notices an unplug
# and a new plug, and ends within 2 seconds of a close request.
# Usage: end_to_end.sh PROGRAM_DIR KNOT_UNIT_SIM
set -euo pipefail

program_dir=$1
sim=$2
work=$(mktemp -d)
export KNOT_SIM_DIR=$work/sim
mkdir -p -m 700 "$KNOT_SIM_DIR"
unset QT_QPA_PLATFORM
# Under LeakSanitizer, the system libraries' own leaks do not count against the programs.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
pids=()

cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    for log in "$work"/*.log; do
        [ -f "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
    done
    exit 1
}

now_ms() { date +%s%3N; }

# Waits until the command succeeds, up to $1 milliseconds.
wait_for() {
    local limit=$1
    shift
    local deadline=$(($(now_ms) + limit))
    until "$@"; do
        (($(now_ms) < deadline)) || return 1
        sleep 0.05
    done
}

# Counts the identity queries of codes $2.. the units received, in capture file $1.
queries_seen() {
    local capture=$1
    shift
    local code
    for code in "$@"; do
        grep -q " R 01007000300000000000${code}" "$capture" 2>/dev/null || return 1
    done
}

count_queries() { grep -c " R 01007000300000000000$2" "$1" 2>/dev/null || true; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
wait_for 10000 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=:$(head -n1 "$work/display")

run_model() {
    local program=$1 title=$2
    shift 2
    local codes=("$@")
    local capture=$work/capture-$program.txt
    rm -rf "$KNOT_SIM_DIR" && mkdir -p -m 700 "$KNOT_SIM_DIR"
    "$sim" serve --capture "$capture" &
    local server=$!
    pids+=("$server")
    wait_for 5000 test -S "$KNOT_SIM_DIR/control.sock" || fail "$program: simulator did not start"
    local unit
    unit=$("$sim" plug --program-name E2E1 | tr -d '[:space:]')

    local launched
    launched=$(now_ms)
    "$program_dir/$program" >"$work/$program.log" 2>&1 &
    local app=$!
    pids+=("$app")
    local window=""
    find_window() { window=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n1); [ -n "$window" ]; }
    wait_for 10000 find_window ||
        fail "$program: no window titled \"$title\" (running: $(kill -0 "$app" 2>&1 && echo yes)," \
            "windows: $(xdotool search --name . getwindowname %@ 2>/dev/null | tr '\n' '|'))"
    local shown=$(($(now_ms) - launched))

    wait_for 10000 queries_seen "$capture" "${codes[@]}" || fail "$program: the unit was not identified"
    # Only this model's queries, in its order: program name, version, checksum.
    local order
    order=$(grep -o " R 01007000300000000000...." "$capture" | cut -c24-27 | head -n3 | tr '\n' ' ')
    [ "$order" = "${codes[*]} " ] || fail "$program: identity queries were $order"

    "$sim" unplug "$unit" >/dev/null
    local before
    before=$(count_queries "$capture" "${codes[0]}")
    "$sim" plug --program-name E2E2 >/dev/null
    found_again() { (($(count_queries "$capture" "${codes[0]}") > before)); }
    wait_for 10000 found_again || fail "$program: the unplug and the new plug went unnoticed"

    local asked
    asked=$(now_ms)
    xdotool windowfocus --sync "$window"
    xdotool key --clearmodifiers Escape
    ended() { ! kill -0 "$app" 2>/dev/null; }
    wait_for 5000 ended || fail "$program: still running 5 s after the close request"
    local took=$(($(now_ms) - asked))
    wait "$app" || fail "$program: exit status $?"
    ((took <= 2000)) || fail "$program: took $took ms to end"
    echo "$program: shown $shown ms after launch; identity, unplug and plug seen;" \
        "ended $took ms after the close request"
    kill "$server"
    wait "$server" 2>/dev/null || true
}

run_model KNOT-Q_FDT "ZU-KNOT-Q Flash Data Transfer Tool" 0833 0831 0832
run_model KNOT-P_FDT "ZU-KNOT-P Flash Data Transfer Tool" 0823 0821 0822
