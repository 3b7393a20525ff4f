#!/usr/bin/env bash
# Installs what is missing, builds, and runs Vokari.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
build="${VOKARI_BUILD_DIR:-$root/build/app}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOKARI_BUILD_TESTS=OFF -DVOKARI_BUILD_BENCHMARKS=OFF
cmake --build "$build" --parallel "$(nproc)"
echo
echo "Vokari is built. The desktop app itself is not wired up yet; what exists so far:"
echo "  - the dictation core and its tests (bash scripts/test.sh)"
for f in "$build/server/vokari-server" "$build/tools/vokarictl/vokarictl"; do
    [ -x "$f" ] && echo "  - $f"
done
