#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test group (unit, integration, e2e).
# Extra arguments go to ctest, e.g. `scripts/test.sh -L unit`.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
build="${VOKARI_BUILD_DIR:-$root/build/ci}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$(nproc)"
cd "$build"
ctest --output-on-failure --timeout 600 "$@"
