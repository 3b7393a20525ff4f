#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test group (unit, integration, e2e), then runs the
# unit tests once more under ThreadSanitizer (set VOKARI_SKIP_TSAN=1 to skip that pass).
# Extra arguments go to ctest, e.g. `scripts/test.sh -L unit`.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
build="${VOKARI_BUILD_DIR:-$root/build/ci}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$(nproc)"
(cd "$build" && ctest --output-on-failure --timeout 600 "$@")

if [ "${VOKARI_SKIP_TSAN:-0}" != "1" ] && [ $# -eq 0 ]; then
    # The threaded code (queues, sessions, log, transport) is checked for data races, not only for end states.
    tsan="$root/build/tsan"
    cmake -S "$root" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
        -DVOKARI_BUILD_APP=OFF -DVOKARI_BUILD_SERVER=OFF -DVOKARI_BUILD_BENCHMARKS=OFF
    cmake --build "$tsan" --parallel "$(nproc)"
    (cd "$tsan" && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --output-on-failure --timeout 600 -L unit)
fi
