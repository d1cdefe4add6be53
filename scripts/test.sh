#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the whole suite in a debug build and
# under AddressSanitizer+UBSan, the threaded subsystems (serial engine, panel, faults) under
# ThreadSanitizer, and the fuzz targets over their seed inputs.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

passed=0
failed=0
run_ctest() {
    local preset="$1"; shift
    echo "[test] ctest --preset $preset $*"
    local log
    log=$(mktemp)
    set +e
    QT_QPA_PLATFORM=offscreen ctest --preset "$preset" -j "$(nproc)" "$@" 2>&1 | tee "$log"
    set -e
    local line total fails
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
    if [ -z "$line" ] && grep -q "No tests were found" "$log"; then
        rm -f "$log"
        echo "[test] preset $preset: no tests with $*"
        return
    fi
    if [ -z "$line" ]; then
        echo "[test] no test summary from preset $preset"
        failed=$((failed + 1))
        return
    fi
    rm -f "$log"
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    fails=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
    passed=$((passed + total - fails))
    failed=$((failed + fails))
}

./scripts/build.sh debug
run_ctest debug

./scripts/build.sh tsan
# What runs threads of ours: the engine, the panel, the fault tests, and the reader (whose
# publisher has a thread of its own) as a child of its tests.
run_ctest tsan -L 'serial|app|fault|read'

./scripts/build.sh asan
run_ctest asan

# The fuzz targets (clang, ASan+UBSan) replay their seed inputs; scripts/fuzz.sh fuzzes.
./scripts/build.sh fuzz
run_ctest fuzz

echo
echo "${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]
