#!/usr/bin/env bash
# Long fuzzing runs (not CI): builds the fuzz targets with clang in build/fuzz and runs each for at least
# FUZZ_RUNS executions (default 10 million), at the lowest priority, FUZZ_JOBS targets at a time (default 1);
# FUZZ_SKIP_BUILD=1 uses the targets already built; FUZZ_SECONDS caps each run's time (default: none).
# Usage: bench/fuzz/run.sh [target...]   (default: every target)
# Each target starts from its committed corpus (bench/fuzz/corpus/<target>) plus what earlier runs found
# (build/fuzz/work/<target>); crashes land in build/fuzz/crashes/<target>/. One summary line per target is printed
# and appended to build/fuzz/summary.txt: target, executions, seconds, outcome.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${VOKARI_FUZZ_BUILD_DIR:-$root/build/fuzz}"
runs="${FUZZ_RUNS:-10000000}"
jobs="${FUZZ_JOBS:-1}"
seconds="${FUZZ_SECONDS:-0}"
# A smaller quarantine than the default 256 MB, so several targets can run side by side.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=64}"
# The file loaders' scratch directories live in memory where there is a tmpfs: their atomic writes fsync each time.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ]; then
    export TMPDIR=/dev/shm
fi

if [ "${FUZZ_SKIP_BUILD:-0}" != "1" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVOKARI_BUILD_FUZZERS=ON -DVOKARI_BUILD_TESTS=OFF -DVOKARI_BUILD_BENCHMARKS=OFF -DVOKARI_BUILD_APP=OFF >/dev/null
    cmake --build "$build" --target vokari_fuzzers
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    mapfile -t targets < <(ls "$root/bench/fuzz/corpus")
fi

run_one() {
    local t="$1" log="$build/logs/$1.log" start end outcome
    mkdir -p "$build/work/$t" "$build/crashes/$t" "$build/logs"
    start=$(date +%s)
    if nice -n 19 "$build/bench/fuzz/$t" -runs="$runs" -max_total_time="$seconds" -max_len=16384 \
        -rss_limit_mb=2048 -timeout=10 -artifact_prefix="$build/crashes/$t/" -print_final_stats=1 \
        "$build/work/$t" "$root/bench/fuzz/corpus/$t" >"$log" 2>&1; then
        outcome="no crash"
    elif compgen -G "$build/crashes/$t/*" >/dev/null; then
        outcome="CRASH (see $log and $build/crashes/$t)"
    else
        outcome="stopped before the end, no crash (see $log)"
    fi
    end=$(date +%s)
    local done_runs
    done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "$t ${done_runs:-?} $((end - start)) $outcome" | tee -a "$build/summary.txt"
}

for t in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
        wait -n || true
    done
    run_one "$t" &
done
wait
