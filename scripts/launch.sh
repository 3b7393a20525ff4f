#!/usr/bin/env bash
# Runs a built Vokari: when nothing answers at the backend origin ($VOKARI_BACKEND_URL, else
# http://127.0.0.1:8790) and that origin is on this machine, starts the reference server there in the
# background and stops it when the app exits. Usage: scripts/launch.sh [build-dir] (default build/app).
# The desktop entry written by scripts/install-desktop-entry.sh starts Vokari through this script.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${VOKARI_BUILD_DIR:-$root/build/app}}"
app="$build/src/app/qt/vokari"
server="$build/server/vokari-server"
origin="${VOKARI_BACKEND_URL:-http://127.0.0.1:8790}"
origin="${origin%/}"

if [ ! -x "$app" ]; then
    echo "launch: $app is not built yet; run scripts/run.sh" >&2
    exit 1
fi

server_pid=""
app_pid=""
stop_server() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
        server_pid=""
    fi
}
trap stop_server EXIT

# Any HTTP answer counts: something is serving the origin, and it is not ours to replace.
answers() { curl -s -o /dev/null --max-time 2 "$origin/health"; }

if ! answers; then
    hostport="${origin#http://}"
    case "$hostport" in
    127.0.0.1:* | localhost:* | 127.0.0.1 | localhost)
        [ "$hostport" = "${hostport%:*}" ] && hostport="$hostport:80"
        if [ ! -x "$server" ]; then
            echo "launch: nothing answers at $origin and $server is not built" >&2
        else
            log="$build/vokari-server.log"
            "$server" --listen "$hostport" >>"$log" 2>&1 &
            server_pid=$!
            for _ in $(seq 1 100); do
                answers && break
                kill -0 "$server_pid" 2>/dev/null || break
                sleep 0.1
            done
            if answers; then
                echo "launch: started the reference server at $origin (log: $log)"
            else
                echo "launch: the reference server did not start at $origin; see $log" >&2
                stop_server
            fi
        fi
        ;;
    *)
        echo "launch: nothing answers at $origin; dictations fail until it does" >&2
        ;;
    esac
fi

# The app runs in the background so that this script can pass on a SIGTERM or SIGHUP (a logout) at once and
# still stop the server afterwards.
"$app" &
app_pid=$!
trap 'kill -TERM "$app_pid" 2>/dev/null' INT TERM HUP
status=0
while kill -0 "$app_pid" 2>/dev/null; do
    wait "$app_pid"
    status=$?
done
exit "$status"
