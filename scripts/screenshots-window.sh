#!/usr/bin/env bash
# Refreshes the screenshots of the main window (Home, About) and the welcome panel in docs/screenshots/, taken
# from the real app on a private desktop (Xvfb, openbox, tray host) as a new user sees it; then Home with a
# history and the Settings tab's looks (each style, each capsule size, two rows of vocabulary), drawn by
# vokari_render_window on the same desktop from fixed data (with Home's "Not sent" rows and the tray menu while a
# recording is kept).
# Usage: scripts/screenshots-window.sh [build-dir]   (default build/dev; needs the vokari and
# vokari_render_window targets built)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build/dev}" && pwd)"
out="$root/docs/screenshots"
export VOKARI_APP="$build/src/app/qt/vokari"
[ -x "$VOKARI_APP" ] || {
    echo "no app at $VOKARI_APP: build the vokari target first" >&2
    exit 1
}
# shellcheck source=../tests/e2e/e2e_lib.sh
source "$root/tests/e2e/e2e_lib.sh"

shot() { # window-id file
    /usr/bin/import -silent -window "$1" "$out/$2"
    echo "wrote docs/screenshots/$2"
}

mkdir -p "$out"
stack_start || e2e_fail "the desktop stack did not start"
e2e_start_tray
# Nothing answers at this origin: the app starts as it would offline.
E2E_PORT=$(e2e_free_port)
e2e_settings '{"hasCompletedOnboarding":false}'
e2e_start_app
main=$(e2e_main_window)

stack_wait_for 5 xdotool search --onlyvisible --name '^Welcome to Vokari$' || e2e_fail "no welcome panel"
panel=$(xdotool search --onlyvisible --name '^Welcome to Vokari$' | head -n1)
sleep 0.5
shot "$panel" window-welcome.png
xdotool windowactivate --sync "$panel" >/dev/null
xte 'key space'
stack_wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Welcome to Vokari\$'" || e2e_fail "the panel stayed"

xdotool windowactivate --sync "$main" >/dev/null
# Park the pointer outside the window so no hover shows.
xdotool mousemove 5 1000
sleep 0.5
shot "$main" window-home.png
# The About tab is the sidebar's third button: 52 from the top, 32 high, 2 apart.
xdotool mousemove --window "$main" 75 $((52 + 2 * 34 + 16)) click 1
xdotool mousemove 5 1000
sleep 0.5
shot "$main" window-about.png
e2e_stop_app TERM
QT_QPA_PLATFORM=xcb "$build/tests/ui/vokari_render_window" "$out" | sed "s|$out/|docs/screenshots/|"
