#!/usr/bin/env bash
# Installs what is missing, checks the layering, builds everything and runs every test group (unit, integration,
# e2e), then builds a Release configuration (VOKARI_SKIP_RELEASE=1 skips it) and runs the unit tests once more under
# ThreadSanitizer (VOKARI_SKIP_TSAN=1 skips that pass).
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
