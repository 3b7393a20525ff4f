#!/usr/bin/env bash
# Screenshots of the update progress window and the "Update Available" alert into docs/screenshots/, drawn by
# vokari_render_update on a private desktop (Xvfb, openbox, xcompmgr) over a grey background so the rounded
# corners show. Usage: scripts/screenshots-update.sh [build-dir]   (default build/dev)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build/dev}" && pwd)"
out="$root/docs/screenshots"
tool="$build/tests/ui/vokari_render_update"
[ -x "$tool" ] || cmake --build "$build" --target vokari_render_update
mkdir -p "$out"

work="$(mktemp -d /tmp/vokari-shots.XXXXXX)"
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work"
chmod 700 "$work"
display -window root -size 1280x720 xc:'#5A6270' &
pids+=($!)
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

render() { # starts the renderer and waits until its windows are up
    "$tool" >"$work/render.out" 2>"$work/render.log" &
    render_pid=$!
    pids+=("$render_pid")
    for _ in $(seq 100); do grep -q ready "$work/render.out" 2>/dev/null && break; sleep 0.1; done
    sleep 0.5
}
# The progress window is cut from the screen with a margin, so its rounded corners show over the background.
progress_shot() { # file
    local id
    id=$(xdotool search --onlyvisible --name '^Updating to 0.2.0$' | head -n1)
    eval "$(xdotool getwindowgeometry --shell "$id" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    import -silent -window root -crop "$((WIDTH + 48))x$((HEIGHT + 48))+$((X - 24))+$((Y - 24))" +repage "$out/$1"
    echo "wrote docs/screenshots/$1"
}

# Without a compositing manager the corners are cut by a shape mask.
render
progress_shot update-progress-plain.png
kill "$render_pid"
wait "$render_pid" 2>/dev/null || true
: >"$work/render.out"
xcompmgr >"$work/xcompmgr.log" 2>&1 &
pids+=($!)
sleep 1
render
progress_shot update-progress.png
# The alert with the window manager's frame.
id=$(xdotool search --onlyvisible --name '^Update Available$' | head -n1)
import -silent -frame -window "$id" "$out/update-available.png"
echo "wrote docs/screenshots/update-available.png"
