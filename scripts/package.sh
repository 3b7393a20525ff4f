#!/usr/bin/env bash
# Builds Vokari for release and packages it:
#   dist/vokari_<version>_amd64.deb                the app, vokari-server, vokarictl, desktop entry, icon, fonts
#   dist/Vokari-<version>-linux-x86_64.tar.gz      the relocatable bundle: Vokari/{vokari,bin/,share/}
#   dist/manifest.json                             {"version","file","sha256"} of the bundle, as the reference
#                                                  server's --releases directory expects it
# Usage: scripts/package.sh [--version V] [--build-dir DIR] [--out DIR] [--no-deb]
#        scripts/package.sh --no-build --build-dir DIR [--app PROGRAM] [--out DIR]   (bundle of an existing build)
#   --version V   build as version V (default: the CMake project version); only one source changes, so
#                 packaging the same tree as another version is a relink
#   --no-build    package DIR as it is built (tests use it on their own build tree); implies --no-deb
#   --app PROGRAM put PROGRAM in the bundle as bin/vokari (tests: a second version of the same build)
# The bundle's version is what its bin/vokari answers to --version.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/package"
out="$root/dist"
version=""
do_build=1
do_deb=1
app=""
while [ $# -gt 0 ]; do
    case "$1" in
    --version) version="$2"; shift 2 ;;
    --build-dir) build="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    --no-deb) do_deb=0; shift ;;
    --no-build) do_build=0; do_deb=0; shift ;;
    --app) app="$2"; do_deb=0; shift 2 ;;
    *)
        sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//' >&2
        exit 2
        ;;
    esac
done

if [ "$do_build" = 1 ]; then
    "$root/scripts/setup.sh"
    # A packager's plain Release build: warnings are reported, not fatal (VOKARI_WERROR is off for Release).
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOKARI_BUILD_TESTS=OFF \
        -DVOKARI_BUILD_BENCHMARKS=OFF -DVOKARI_APP_VERSION="$version" >/dev/null
    cmake --build "$build" --parallel "$(nproc)" --target vokari vokari-server vokarictl
fi
[ -f "$build/CMakeCache.txt" ] || {
    echo "package: $build is not a build directory" >&2
    exit 1
}

mkdir -p "$out"
out="$(cd "$out" && pwd)"
stage="$(mktemp -d "${TMPDIR:-/tmp}/vokari-package.XXXXXX")"
trap 'rm -rf "$stage"' EXIT
bundle="$stage/Vokari"
cmake --install "$build" --prefix "$bundle" --strip >/dev/null
if [ -n "$app" ]; then
    install -m 0755 "$app" "$bundle/bin/vokari"
fi
for program in vokari vokari-server vokarictl; do
    [ -x "$bundle/bin/$program" ] || {
        echo "package: $program is not built in $build" >&2
        exit 1
    }
done
answer="$("$bundle/bin/vokari" --version)"
bundle_version="${answer#Vokari }"
[ -n "$version" ] && [ "$do_build" = 1 ] && [ "$bundle_version" != "$version" ] && {
    echo "package: the build says $answer, expected $version" >&2
    exit 1
}

# The launcher: runs this copy from wherever it was unpacked; --add-to-menu points the user's menu entry at it.
cat >"$bundle/vokari" <<'LAUNCHER'
#!/bin/sh
# Starts this copy of Vokari, wherever the bundle was unpacked. "vokari --add-to-menu" adds it to this user's
# application menu (~/.local/share/applications/vokari.desktop); the updater keeps that entry current.
here="$(dirname "$(readlink -f "$0")")"
if [ "${1:-}" = "--add-to-menu" ]; then
    apps="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
    mkdir -p "$apps"
    quoted="$(printf '%s' "$here/bin/vokari" | sed -e 's/[\\"`$]/\\&/g' -e 's/\\/\\\\/g' -e 's/%/%%/g')"
    sed -e "s|^Exec=.*|Exec=\"$(printf '%s' "$quoted" | sed -e 's/[|&\\]/\\&/g')\"|" \
        -e "s|^Icon=.*|Icon=$(printf '%s' "$here/share/icons/hicolor/scalable/apps/vokari.svg" | sed -e 's/[|&\\]/\\&/g')|" \
        "$here/share/applications/vokari.desktop" >"$apps/vokari.desktop"
    echo "added $apps/vokari.desktop"
    exit 0
fi
exec "$here/bin/vokari" "$@"
LAUNCHER
chmod 0755 "$bundle/vokari"

tarball="Vokari-$bundle_version-linux-x86_64.tar.gz"
(cd "$stage" && tar --sort=name --owner=0 --group=0 --numeric-owner -czf "$out/$tarball.part" Vokari)
mv "$out/$tarball.part" "$out/$tarball"
sha="$(sha256sum "$out/$tarball" | cut -d' ' -f1)"
printf '{"version": "%s", "file": "%s", "sha256": "%s"}\n' "$bundle_version" "$tarball" "$sha" \
    >"$out/manifest.json"
echo "package: $out/$tarball"
echo "package: $out/manifest.json"

if [ "$do_deb" = 1 ]; then
    (cd "$build" && cpack -G DEB -B "$out" >/dev/null)
    rm -rf "$out/_CPack_Packages"
    echo "package: $(ls "$out"/vokari_"$bundle_version"_*.deb)"
fi
