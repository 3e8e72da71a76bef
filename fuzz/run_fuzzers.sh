#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for SECONDS seconds.
#
#   fuzz/run_fuzzers.sh SECONDS [BUILD_DIR]
#
# BUILD_DIR defaults to build-fuzz (relative to the current directory). Each target fuzzes a
# working corpus in BUILD_DIR/fuzz-corpus/TARGET that starts as, and is topped up with, the
# seeds in fuzz/corpus/TARGET; new inputs land there, never in the checked-in seeds. Crash,
# sanitizer and time-out reproducers go to BUILD_DIR/fuzz-artifacts/TARGET/, the full logs to
# BUILD_DIR/fuzz-logs/. Exits non-zero when any target fails.
#
# KESTRANE_FUZZ_DESIGN_COVERAGE=ON in the environment builds the design core with coverage
# instrumentation too: about four times fewer dialogue inputs per second (see
# fuzz/CMakeLists.txt).
set -euo pipefail

usage() {
    echo "usage: $0 SECONDS [BUILD_DIR]" >&2
    exit 2
}

[ "$#" -ge 1 ] && [ "$#" -le 2 ] || usage
seconds=$1
case "$seconds" in
    '' | *[!0-9]*) usage ;;
esac
[ "$seconds" -gt 0 ] || usage
build_dir=${2:-build-fuzz}

fuzz_dir=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$fuzz_dir")
targets="number_reader dialogue command_line"
# A design runs a full component search; under the sanitizers and coverage counters the
# slowest known inputs (two designs over extreme component values) take about a second.
timeout_seconds=10
max_len=4096

CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build_dir" -DKESTRANE_FUZZ=ON \
    -DKESTRANE_TESTS=OFF -DKESTRANE_BENCH=OFF \
    -DKESTRANE_FUZZ_DESIGN_COVERAGE="${KESTRANE_FUZZ_DESIGN_COVERAGE:-OFF}"
cmake --build "$build_dir" --parallel "${KESTRANE_JOBS:-2}"

mkdir -p "$build_dir/fuzz-logs"
failed=""
summary=""
for target in $targets; do
    seeds="$fuzz_dir/corpus/$target"
    work="$build_dir/fuzz-corpus/$target"
    artifacts="$build_dir/fuzz-artifacts/$target"
    log="$build_dir/fuzz-logs/$target.log"
    mkdir -p "$work" "$artifacts"
    for seed in "$seeds"/*; do
        [ -f "$seed" ] || continue
        copy="$work/seed-$(basename "$seed")"
        [ -e "$copy" ] || cp "$seed" "$copy"
    done

    echo "== $target: fuzzing for $seconds s"
    status=0
    "$build_dir/fuzz/${target}_fuzz" \
        -max_total_time="$seconds" -timeout="$timeout_seconds" -max_len="$max_len" \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" >"$log" 2>&1 || status=$?

    # A sanitizer report fails the run even if the process somehow exited 0.
    if [ "$status" -eq 0 ] && grep -Eq 'ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer)|runtime error:' "$log"; then
        status=1
    fi
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    if [ "$status" -ne 0 ]; then
        echo "== $target: FAILED (exit status $status); log $log" >&2
        grep -E -A 12 'ERROR|runtime error|_fuzz: ' "$log" | head -n 40 >&2 || true
        ls "$artifacts" >&2 || true
        failed="$failed $target"
    fi
    summary="$summary$target: ${runs:-?} runs, ${rate:-?} exec/s, exit status $status"$'\n'
done

echo "== summary"
printf '%s' "$summary"
if [ -n "$failed" ]; then
    echo "failed:$failed" >&2
    exit 1
fi
