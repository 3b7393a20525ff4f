#!/usr/bin/env bash
# Installs what is missing, builds Vokari and the reference server, and runs Vokari (scripts/launch.sh: when
# nothing answers at the backend origin, the reference server is started in the background for as long as the
# app runs). Build directory: $VOKARI_BUILD_DIR, else build/app.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
build="${VOKARI_BUILD_DIR:-$root/build/app}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOKARI_BUILD_TESTS=OFF \
    -DVOKARI_BUILD_BENCHMARKS=OFF
cmake --build "$build" --parallel "$(nproc)" --target vokari vokari-server
exec "$root/scripts/launch.sh" "$build"
