#!/usr/bin/env bash
# Opens the recorder on a virtual X screen, waits until its window is mapped and saves a
# picture of the screen.
#   tools/screenshot.sh [BUILD_DIR] [OUTPUT_PNG]
# Defaults: BUILD_DIR=build, OUTPUT_PNG=BUILD_DIR/screenshots/talvir.png.
# The run uses a fresh settings folder, so the picture shows a first run's values; only the port
# map ports.ini is taken over, so that COM numbers lead to the same devices.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
out=${2:-$build/screenshots/talvir.png}
talvir=$build/app/talvir
[ -x "$talvir" ] || { echo "error: $talvir not found; build first (make build)" >&2; exit 1; }
mkdir -p "$(dirname "$out")"

config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
mkdir -p "$config/talvir"
ports=${XDG_CONFIG_HOME:-$HOME/.config}/talvir/ports.ini
[ -f "$ports" ] && cp "$ports" "$config/talvir/"

# Runs inside the virtual X server: start the recorder, wait for its window (at most 15 s),
# give it a moment to paint, grab the whole screen and close the recorder again.
inner='
    "$1" & pid=$!
    for _ in $(seq 150); do
        xwininfo -root -tree 2>/dev/null | grep -q "Регистратор двоичного сигнала" && break
        sleep 0.1
    done
    sleep 1
    import -window root "$2"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
'
mkdir -m 700 "$config/runtime"
XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$config/runtime QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 800x560x24" bash -c "$inner" screenshot "$talvir" "$out"
echo "Screenshot saved to $out"
