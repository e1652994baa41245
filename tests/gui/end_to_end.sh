#!/usr/bin/env bash
# Runs the real KNOT-Q_FDT and KNOT-P_FDT under Xvfb against a knot-unit-sim process: each shows
# its model's title, identifies the plugged unit with its model's three queries, notices an unplug
# and a new plug, and ends within 2 seconds of a close request. Then KNOT-Q_FDT loads the sample
# through its file chooser and downloads it twice (the second time without its flash data),
# closed by Escape once among the blocks and once in the wait after the commit: it ends within
# 1 second, no packet follows the close, and the identity list shows its placeholder values
# while "Writing".
# Usage: end_to_end.sh PROGRAM_DIR KNOT_UNIT_SIM WINDOW_GRAB SAMPLE_DIR
# (KNOT_E2E_DISPLAY=N runs Xvfb on display :N instead of the first free one. KNOT_TIME_FACTOR=N
# stretches every bound N times, for sanitizer builds, whose programs run several times slower.)
set -euo pipefail

factor=${KNOT_TIME_FACTOR:-1}
program_dir=$1
sim=$2
grab=$3
samples=$4
work=$(mktemp -d)
export KNOT_SIM_DIR=$work/sim
mkdir -p -m 700 "$KNOT_SIM_DIR"
unset QT_QPA_PLATFORM
# The chooser's remembered folder and view stay in here, away from the user's settings.
export XDG_CONFIG_HOME=$work/config
# Under LeakSanitizer, the system libraries' own leaks do not count against the programs.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
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

# Waits until the command succeeds, up to $1 milliseconds (times the factor).
wait_for() {
    local limit=$1
    shift
    local deadline=$(($(now_ms) + limit * factor))
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

if [ -n "${KNOT_E2E_DISPLAY:-}" ]; then
    echo "$KNOT_E2E_DISPLAY" >"$work/display"
    Xvfb ":$KNOT_E2E_DISPLAY" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
else
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
fi
pids+=($!)
wait_for 10000 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=:$(head -n1 "$work/display")
wait_for 10000 test -S "/tmp/.X11-unix/X${DISPLAY#:}" || fail "Xvfb did not start"

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
    wait_for 5000 ended || fail "$program: still running $((5 * factor)) s after the close request"
    local took=$(($(now_ms) - asked))
    wait "$app" || fail "$program: exit status $?"
    # The teardown waits at most 1000 ms for each of the two workers.
    ((took <= 2000 * factor)) || fail "$program: took $took ms to end"
    echo "$program: shown $shown ms after launch; identity, unplug and plug seen;" \
        "ended $took ms after the close request"
    kill "$server"
    wait "$server" 2>/dev/null || true
}

run_model KNOT-Q_FDT "ZU-KNOT-Q Flash Data Transfer Tool" 0833 0831 0832
run_model KNOT-P_FDT "ZU-KNOT-P Flash Data Transfer Tool" 0823 0821 0822

# The main window's id (the one window with the title that is not $2), or "" when it has none.
window_titled() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -vx "${2:-}" | head -n1
}

# KNOT-Q_FDT loads the sample through its chooser, starts a download and is closed with Escape
# once the capture holds a packet matching $1 (a block, or the commit); $2 names that stage and
# $3 is the simulator's answer latency in microseconds.
escape_during() {
    local pattern=$1 stage=$2 latency=$3
    local program=KNOT-Q_FDT title="ZU-KNOT-Q Flash Data Transfer Tool"
    local capture=$work/capture-escape-$stage.txt
    rm -rf "$KNOT_SIM_DIR" && mkdir -p -m 700 "$KNOT_SIM_DIR"
    "$sim" serve --capture "$capture" --latency-us "$latency" &
    local server=$!
    pids+=("$server")
    wait_for 5000 test -S "$KNOT_SIM_DIR/control.sock" || fail "$stage: simulator did not start"

    # The chooser opens in the program's folder, where the sample is the only file. Without its
    # flash records (S2 at 0x04xxxx) the run reaches the commit after a few CPU blocks.
    mkdir -p "$work/files"
    if [ "$stage" = commit ]; then
        grep -v '^S2..04' "$samples/knot-q-sample.mot" >"$work/files/knot-q-sample.mot"
    else
        cp "$samples/knot-q-sample.mot" "$work/files/"
    fi
    # The leak check at exit is left to the runs above: its scan of the heap would count
    # against the 1 s.
    (cd "$work/files" && ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
        exec "$program_dir/$program") >"$work/escape-$stage.log" 2>&1 &
    local app=$!
    pids+=("$app")
    local window=""
    find_main() { window=$(window_titled "$title"); [ -n "$window" ]; }
    wait_for 10000 find_main || fail "$stage: no window"
    # The values column with no unit, once two grabs in a row agree (the window is painted):
    # the placeholders, as "Writing" must show them again.
    rm -f "$work/placeholders.png"
    steady_placeholders() {
        "$grab" "$window" "$work/grab.png" q 2>/dev/null || return 1
        cmp -s "$work/grab.png" "$work/placeholders.png" && return 0
        mv "$work/grab.png" "$work/placeholders.png"
        return 1
    }
    wait_for 5000 steady_placeholders || fail "$stage: no steady grab of the list"
    "$sim" plug --program-name E2E1 >/dev/null
    wait_for 10000 queries_seen "$capture" 0833 0831 0832 || fail "$stage: unit not identified"
    shows_identity() {
        "$grab" "$window" "$work/identity.png" q 2>/dev/null &&
            ! cmp -s "$work/placeholders.png" "$work/identity.png"
    }
    wait_for 5000 shows_identity || fail "$stage: the list does not show the unit's identity"

    # File > Open, a click into the chooser's list, the file's first letters, Enter; again while
    # the chooser stays open (it lists the folder's files a moment after it opens).
    xdotool windowfocus --sync "$window" key --clearmodifiers alt+f r
    local chooser=""
    find_chooser() { chooser=$(window_titled Open); [ -n "$chooser" ]; }
    wait_for 5000 find_chooser || fail "$stage: no file chooser"
    chooser_gone() { [ -z "$(window_titled Open)" ]; }
    choose_sample() {
        ! chooser_gone || return 0
        eval "$(xdotool getwindowgeometry --shell "$chooser")"
        xdotool mousemove --window "$chooser" $((WIDTH / 2)) $((HEIGHT / 2)) click 1 \
            type --delay 20 knot-q
        xdotool key Return
        wait_for 2000 chooser_gone
    }
    wait_for 10000 choose_sample || fail "$stage: the chooser did not take the sample"
    local box=""
    find_box() { box=$(window_titled "$title" "$window"); [ -n "$box" ]; }
    wait_for 5000 find_box || fail "$stage: no message box after the load"
    xdotool windowfocus --sync "$box" key Return
    box_gone() { [ -z "$(window_titled "$title" "$window")" ]; }
    wait_for 5000 box_gone || fail "$stage: the load's message box stayed"

    # Start, from the list by Tab and Space.
    xdotool windowfocus --sync "$window" key Tab space
    wait_for 10000 grep -q "$pattern" "$capture" || fail "$stage: the download did not get there"
    if [ "$stage" = commit ]; then
        writing_shows_placeholders() {
            "$grab" "$window" "$work/writing.png" q 2>/dev/null &&
                cmp -s "$work/placeholders.png" "$work/writing.png"
        }
        wait_for 2000 writing_shows_placeholders ||
            fail "$stage: the list does not show its placeholders while \"Writing\""
    fi

    local before asked took
    before=$(grep -c " R " "$capture")
    asked=$(now_ms)
    xdotool key --clearmodifiers Escape
    ended() { ! kill -0 "$app" 2>/dev/null; }
    # Far less than a run that went on would take: the thousands of blocks left, or the 15 s wait.
    until ended || (($(now_ms) - asked > 1000 * factor)); do sleep 0.01; done
    took=$(($(now_ms) - asked))
    ended || fail "$stage: still running $factor s after Escape"
    wait "$app" || fail "$stage: exit status $?"
    local after
    after=$(grep -c " R " "$capture")
    # The packet of the step under way when Escape came may still be sent; nothing after it.
    ((after - before <= 1)) || fail "$stage: $((after - before)) packets followed Escape"
    if [ "$stage" = blocks ]; then
        ! grep -q " R 010070003000000000003F80" "$capture" || fail "$stage: the commit was sent"
    fi
    echo "$program: Escape during the $stage ended it after $took ms; $((after - before)) packet(s) after it"
    kill "$server"
    wait "$server" 2>/dev/null || true
}

escape_during " R 010070003000000000243F[12]3" blocks 100000
escape_during " R 010070003000000000003F80" commit 0
