#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the whole suite in a debug build and
# under AddressSanitizer+UBSan, what runs threads of ours under ThreadSanitizer, and the fuzz
# targets over their seed inputs. Says how long each stage took.
#
#   scripts/test.sh           everything (what CI runs)
#   scripts/test.sh --quick   the debug build and its tests only, nothing installed
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
case "${1:-}" in
    "") ;;
    --quick) quick=1 ;;
    *)
        echo "usage: scripts/test.sh [--quick]" >&2
        exit 2
        ;;
esac

now_us() { echo "${EPOCHREALTIME/[.,]/}"; }
seconds() { printf '%d.%d s' $(($1 / 1000000)) $(($1 / 100000 % 10)); }

started=$(now_us)
stage_names=()
stage_times=()
# timed NAME COMMAND...: runs COMMAND and notes how long it took, whatever its outcome.
timed() {
    local name="$1"; shift
    local t0 status=0
    t0=$(now_us)
    "$@" || status=$?
    local took=$(($(now_us) - t0))
    stage_names+=("$name")
    stage_times+=("$took")
    echo "[time] $name: $(seconds "$took")"
    return "$status"
}

times_shown=0
show_times() {
    [ "$times_shown" -eq 0 ] || return 0
    times_shown=1
    echo
    local i
    for i in "${!stage_names[@]}"; do
        printf '[time] %-12s %10s\n' "${stage_names[$i]}" "$(seconds "${stage_times[$i]}")"
    done
    printf '[time] %-12s %10s\n' total "$(seconds $(($(now_us) - started)))"
}
# A build that fails ends the script; where the time went is still worth knowing.
trap show_times EXIT

passed=0
failed=0
failed_runs=0
# tally JUNIT: "PASSED FAILED" as ctest counts them: a test that did not run failed, one that
# returned its skip code passed, a disabled one is neither.
tally() {
    awk '
        /<testcase / {
            match($0, /status="[a-z]*"/)
            status = substr($0, RSTART + 8, RLENGTH - 9)
            if (status == "run") passed++
            else if (status == "fail") failed++
            else if (status == "notrun") pending = 1
            next
        }
        pending && /<skipped message="SKIP_RETURN_CODE/ { passed++; pending = 0 }
        pending && /<\/testcase>/ { failed++; pending = 0 }
        END { printf "%d %d\n", passed, failed }
    ' "$1"
}
# run_ctest PRESET ARGS...: ctest's exit status decides; its JUnit report gives the counts.
run_ctest() {
    local preset="$1"; shift
    echo "[test] ctest --preset $preset $*"
    local junit status=0
    junit=$(mktemp --suffix=.xml)
    QT_QPA_PLATFORM=offscreen ctest --preset "$preset" -j "$(nproc)" --output-junit "$junit" "$@" ||
        status=$?
    local counts run_passed run_failed
    counts=$(tally "$junit" 2>/dev/null || echo "0 0")
    rm -f "$junit"
    read -r run_passed run_failed <<<"$counts"
    passed=$((passed + run_passed))
    failed=$((failed + run_failed))
    [ $((run_passed + run_failed)) -gt 0 ] || echo "[test] preset $preset: no tests with $*"
    if [ "$status" -ne 0 ]; then
        echo "[test] ctest --preset $preset failed (exit status $status)"
        failed_runs=$((failed_runs + 1))
        # Failed without a failed test in its report (nothing ran, no report): still one failure.
        [ "$run_failed" -gt 0 ] || failed=$((failed + 1))
    fi
    return 0
}

if [ "$quick" -eq 0 ]; then
    timed setup ./scripts/setup.sh
fi

timed "build debug" ./scripts/build.sh debug
timed "ctest debug" run_ctest debug

if [ "$quick" -eq 0 ]; then
    timed "build tsan" ./scripts/build.sh tsan
    # What runs threads of ours: the engine, the window layer, the panel, the port link, the
    # fault tests, the reader and its publisher (a thread of its own), the simulator, the web
    # bridge, the families' detection, the typing thread and the reader's bench rules. Left
    # out: what forks after starting threads (the ticket tests) or runs inside the D-Bus
    # libraries (the portal), which the checker cannot follow.
    timed "ctest tsan" run_ctest tsan -L '^(serial|window|app|link|fault|read|mqtt|tools|web|families)$'
    timed "ctest tsan+" run_ctest tsan -R '^(wedge_(format|sinks|x11|panel)|bench_reader)_test$'

    timed "build asan" ./scripts/build.sh asan
    timed "ctest asan" run_ctest asan

    # The fuzz targets (clang, ASan+UBSan) replay their seed inputs; scripts/fuzz.sh fuzzes.
    timed "build fuzz" ./scripts/build.sh fuzz
    timed "ctest fuzz" run_ctest fuzz
fi

show_times
echo "${passed} passed, ${failed} failed"
[ "$failed_runs" -eq 0 ]
