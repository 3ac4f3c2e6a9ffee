#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (preset "fuzz") and runs them.
# Usage: scripts/fuzz.sh [short|long] [target...]
#   short  every target for FUZZ_RUNS inputs (default 100000), capped at 55 s each: a quick check
#   long   every target for 10 million inputs, or for FUZZ_MAX_TIME seconds when that is set
# tests/fuzz/<target>.dict and <target>.args add a dictionary and options per target.
# The corpus of each target is kept in <build>/corpus/<target> and grows from run to run.
# FUZZ_BUILD_DIR chooses the build folder (default build/fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-short}"
if [ "$#" -gt 0 ]; then
    shift
fi
build="${FUZZ_BUILD_DIR:-build/fuzz}"

scripts/install-deps.sh
cmake --preset fuzz -B "$build"
cmake --build "$build" --parallel "${FUZZ_JOBS:-2}"

targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
    for exe in "$build"/tests/fuzz/Fuzz*; do
        [ -x "$exe" ] && [ -f "$exe" ] && targets+=("$(basename "$exe")")
    done
fi

case "$mode" in
short) limits=(-runs="${FUZZ_RUNS:-100000}" -max_total_time=55) ;;
long)
    if [ -n "${FUZZ_MAX_TIME:-}" ]; then
        limits=(-max_total_time="$FUZZ_MAX_TIME")
    else
        limits=(-runs=10000000)
    fi
    ;;
*)
    echo "usage: $0 [short|long] [target...]" >&2
    exit 2
    ;;
esac

for t in "${targets[@]}"; do
    corpus="$build/corpus/$t"
    mkdir -p "$corpus"
    args=("${limits[@]}" -print_final_stats=1 -artifact_prefix="$build/crash-$t-")
    if [ -f "tests/fuzz/$t.dict" ]; then
        args+=(-dict="tests/fuzz/$t.dict")
    fi
    # Per-target options, such as a longest input that still reaches every branch.
    if [ -f "tests/fuzz/$t.args" ]; then
        read -r -a extra <"tests/fuzz/$t.args"
        args+=("${extra[@]}")
    fi
    echo "== $t ($mode)"
    # The fuzzer's progress lines go to a log; its final figures, or a finding, are shown.
    log="$build/$t.log"
    if ! "$build/tests/fuzz/$t" "${args[@]}" "$corpus" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz: $t found a fault (see $log and $build/crash-$t-*)" >&2
        exit 1
    fi
    grep -E '^(#[0-9]+\s+DONE|Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || tail -n 3 "$log"
done
