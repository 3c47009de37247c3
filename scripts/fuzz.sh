#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz for FUZZ_SECONDS seconds each (default 60). Builds
# nothing: configure and build the preset fuzz first (make fuzz does all of it).
#
# Each target starts from the seeds in fuzz/corpus/<target>/, which it only reads; the inputs it
# finds go to build/fuzz/corpus/<target>/ and crash artefacts to build/fuzz/artifacts/. Prints
# one line per target and writes build/fuzz/fuzz-summary.txt, one tab-separated line per target:
# target, executions, seconds, result ("ok" or "crash"). Exits 1 when a target crashed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
build=build/fuzz
targets=(fuzz_payload_export fuzz_restore_files fuzz_driver_answers)
summary="$build/fuzz-summary.txt"

for target in "${targets[@]}"; do
    if [ ! -x "$build/fuzz/$target" ]; then
        echo "fuzz: $build/fuzz/$target is missing: build the preset fuzz first" >&2
        exit 2
    fi
done

mkdir -p "$build/artifacts" "$build/logs"
: >"$summary"
crashed=0
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

for target in "${targets[@]}"; do
    found="$build/corpus/$target"
    log="$build/logs/$target.log"
    mkdir -p "$found"
    start=$(date +%s)
    status=0
    "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" "$found" "fuzz/corpus/$target" \
        >"$log" 2>&1 || status=$?
    elapsed=$(($(date +%s) - start))
    executions=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -n 1)
    result=ok
    if [ "$status" -ne 0 ]; then
        result=crash
        crashed=1
    fi
    printf '%s\t%s\t%s\t%s\n' "$target" "${executions:-0}" "$elapsed" "$result" >>"$summary"
    echo "fuzz: $target: ${executions:-0} executions in ${elapsed} s: $result (log $log)"
done

if [ "$crashed" -ne 0 ]; then
    echo "fuzz: crash artefacts in $build/artifacts/" >&2
    exit 1
fi
