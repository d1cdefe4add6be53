#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz, clang) and runs each for a bounded time:
#   scripts/fuzz.sh [SECONDS]      (default 60 seconds per target)
# Each target fuzzes a copy of its seed corpus (fuzz/corpus/<target>/, with the words of
# fuzz/dict/<target>.dict when there is one) in a temporary directory, so the repository's
# corpus never grows. Prints the executions and the outcome per target, keeps any crashing input
# and its log under build/fuzz/artifacts/, and exits non-zero if any target crashed.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: scripts/fuzz.sh [SECONDS]   (seconds per target, default 60)" >&2
    exit 2
fi

say() { printf '[fuzz] %s\n' "$*"; }

./scripts/setup.sh
say "cmake --preset fuzz && cmake --build --preset fuzz"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

bin="$root/build/fuzz/bin"
artifacts="$root/build/fuzz/artifacts"
work="$(mktemp -d "${TMPDIR:-/tmp}/karvel-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts"

crashed=0
summary=()
for dir in fuzz/corpus/*/; do
    target="$(basename "$dir")"
    if [ ! -x "$bin/$target" ]; then
        say "$target: not built"
        crashed=$((crashed + 1))
        summary+=("$target: not built")
        continue
    fi
    mkdir -p "$work/$target"
    cp -r "$dir" "$work/$target/corpus"
    log="$work/$target/log"
    options=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1
        -artifact_prefix="$artifacts/$target-")
    if [ -f "fuzz/dict/$target.dict" ]; then
        options+=(-dict="$root/fuzz/dict/$target.dict")
    fi
    say "$target: fuzzing for ${seconds} s"
    set +e
    (cd "$work/$target" &&
        QT_QPA_PLATFORM=offscreen KARVEL_COMPONENT_STORE="$work/$target/no.store" \
            "$bin/$target" "${options[@]}" corpus) >"$log" 2>&1
    status=$?
    set -e
    runs="$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -n 1)"
    runs="${runs:-unknown}"
    if [ "$status" -eq 0 ]; then
        line="$target: $runs executions, no crash"
    else
        crashed=$((crashed + 1))
        cp "$log" "$artifacts/$target.log"
        input="$(sed -nE 's/.*Test unit written to (.*)$/\1/p' "$log" | tail -n 1)"
        line="$target: $runs executions, CRASHED (exit $status); input ${input:-not saved}; log $artifacts/$target.log"
        grep -E 'ERROR: |runtime error|property broken|SUMMARY' "$log" | head -n 5 | sed 's/^/    /' || true
    fi
    say "$line"
    summary+=("$line")
done

echo
for line in "${summary[@]}"; do
    say "$line"
done
[ "$crashed" -eq 0 ]
