#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# the plain build, AddressSanitizer + UndefinedBehaviorSanitizer, ThreadSanitizer on the
# threaded code, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
run_preset() {
    local preset=$1
    shift
    echo "=== ${preset}"
    cmake --preset "${preset}" >/dev/null
    cmake --build --preset "${preset}" -j "${jobs}"
    ctest --preset "${preset}" -j "${jobs}" "$@"
}

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
run_preset default
run_preset asan
# Only the suites that run threads are worth ThreadSanitizer's time.
run_preset tsan -L threads --no-tests=ignore
export WINEDEBUG=-all
run_preset mingw
