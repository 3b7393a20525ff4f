#!/usr/bin/env bash
# Adds Vokari to the desktop's application menu for this user, starting it through scripts/launch.sh (which also
# starts the reference server when no backend answers). Usage:
#   scripts/install-desktop-entry.sh [--autostart] [build-dir]   # --autostart: also start Vokari at login
#   scripts/install-desktop-entry.sh --remove                    # removes the entry, the autostart and the icon
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
data="${XDG_DATA_HOME:-$HOME/.local/share}"
config="${XDG_CONFIG_HOME:-$HOME/.config}"
entry="$data/applications/vokari.desktop"
icon="$data/icons/hicolor/scalable/apps/vokari.svg"
autostart="$config/autostart/vokari.desktop"

autostart_wanted=0
build=""
for arg in "$@"; do
    case "$arg" in
    --autostart) autostart_wanted=1 ;;
    --remove)
        rm -f "$entry" "$autostart" "$icon"
        echo "removed the Vokari desktop entry, autostart entry and icon"
        exit 0
        ;;
    -*)
        echo "usage: $0 [--autostart] [build-dir] | --remove" >&2
        exit 2
        ;;
    *) build="$arg" ;;
    esac
done
build="$(cd "${build:-$root/build/app}" 2>/dev/null && pwd)" || {
    echo "install-desktop-entry: build directory not found; run scripts/run.sh first" >&2
    exit 1
}

# Exec keys quote arguments with double quotes; inside them ", `, $ and \ are escaped with a backslash.
quote() { printf '"%s"' "$(printf '%s' "$1" | sed -e 's/[\\"`$]/\\&/g')"; }
exec_line="Exec=$(quote "$root/scripts/launch.sh") $(quote "$build")"

mkdir -p "$(dirname "$entry")" "$(dirname "$icon")"
cp "$root/resources/icons/vokari.svg" "$icon"
sed -e "s|^Exec=.*|$(printf '%s' "$exec_line" | sed -e 's/[|&\\]/\\&/g')|" "$root/resources/vokari.desktop" >"$entry"
echo "installed $entry"
if [ "$autostart_wanted" = 1 ]; then
    mkdir -p "$(dirname "$autostart")"
    cp "$entry" "$autostart"
    echo "installed $autostart (Vokari starts at login)"
fi
