#!/usr/bin/env bash
# Installs what is missing, checks the layering, builds everything and runs every test group (unit, integration,
# e2e), then builds a Release configuration (VOKARI_SKIP_RELEASE=1 skips it) and runs the unit tests once more under
# ThreadSanitizer (VOKARI_SKIP_TSAN=1 skips that pass), the unit and integration tests under AddressSanitizer and
# UndefinedBehaviorSanitizer (VOKARI_SKIP_ASAN=1), and replays the fuzz corpora (VOKARI_SKIP_FUZZ=1).
# Extra arguments go to ctest, e.g. `scripts/test.sh -L unit`.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
# No folder includes from a folder above it (the build enforces it too; this names the line).
python3 "$root/scripts/check-layering.py"
build="${VOKARI_BUILD_DIR:-$root/build/ci}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$(nproc)"
(cd "$build" && ctest --output-on-failure --timeout 600 "$@")

if [ "${VOKARI_SKIP_RELEASE:-0}" != "1" ] && [ $# -eq 0 ]; then
    # A packager's optimised build must compile too; here with warnings as errors, so new ones are seen early.
    release="$root/build/release-check"
    cmake -S "$root" -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOKARI_WERROR=ON \
        -DVOKARI_BUILD_TESTS=OFF -DVOKARI_BUILD_BENCHMARKS=OFF
    cmake --build "$release" --parallel "$(nproc)"
fi

if [ "${VOKARI_SKIP_TSAN:-0}" != "1" ] && [ $# -eq 0 ]; then
    # The threaded code (queues, sessions, log, transport) is checked for data races, not only for end states.
    tsan="$root/build/tsan"
    cmake -S "$root" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
        -DVOKARI_BUILD_APP=OFF -DVOKARI_BUILD_SERVER=OFF -DVOKARI_BUILD_BENCHMARKS=OFF
    cmake --build "$tsan" --parallel "$(nproc)"
    (cd "$tsan" && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --output-on-failure --timeout 600 -L unit)
fi

if [ "${VOKARI_SKIP_ASAN:-0}" != "1" ] && [ $# -eq 0 ]; then
    # Memory errors, leaks and undefined behaviour in the unit and integration tests; -O1 keeps the build and the
    # run short. Leaks inside system libraries are suppressed in scripts/lsan.supp, each with its reason. GCC's
    # -Wmaybe-uninitialized misfires on sanitizer-instrumented code (moved-from optionals), so only it is off.
    asan="$root/build/asan"
    sanitize="-fsanitize=address,undefined"
    cmake -S "$root" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
        -DCMAKE_CXX_FLAGS="$sanitize -fno-omit-frame-pointer -fno-sanitize-recover=undefined -Wno-maybe-uninitialized" \
        -DCMAKE_EXE_LINKER_FLAGS="$sanitize" -DCMAKE_SHARED_LINKER_FLAGS="$sanitize" -DVOKARI_BUILD_BENCHMARKS=OFF
    cmake --build "$asan" --parallel "$(nproc)"
    (cd "$asan" && ASAN_OPTIONS="detect_leaks=1" LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp" \
        UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1" ctest --output-on-failure --timeout 600 -L "unit|integration")
fi

if [ "${VOKARI_SKIP_FUZZ:-0}" != "1" ] && [ $# -eq 0 ]; then
    # Every reader of outside input replays its fuzz corpus (seeds and every crash found so far) under clang's
    # AddressSanitizer and UndefinedBehaviorSanitizer. The long runs are bench/fuzz/run.sh.
    fuzz="$root/build/fuzz"
    CC=clang CXX=clang++ cmake -S "$root" -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVOKARI_BUILD_FUZZERS=ON -DVOKARI_BUILD_TESTS=OFF -DVOKARI_BUILD_BENCHMARKS=OFF -DVOKARI_BUILD_APP=OFF
    cmake --build "$fuzz" --target vokari_fuzzers --parallel "$(nproc)"
    for corpus in "$root"/bench/fuzz/corpus/*; do
        if ! out=$("$fuzz/bench/fuzz/$(basename "$corpus")" "$corpus"/* 2>&1); then
            echo "$out" | tail -n 40
            echo "fuzz replay failed: $(basename "$corpus")" >&2
            exit 1
        fi
        echo "fuzz replay: $(basename "$corpus"): $(find "$corpus" -type f | wc -l) inputs, no crash"
    done
fi
