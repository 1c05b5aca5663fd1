#!/usr/bin/env bash
# Opens the recorder on a virtual X screen, waits until its window is mapped and saves a
# picture of the screen.
#   tools/screenshot.sh [--start] [BUILD_DIR] [OUTPUT_PNG]
# Defaults: BUILD_DIR=build, OUTPUT_PNG=BUILD_DIR/screenshots/talvir.png.
# --start clicks the start switch once the window is up and takes the picture after a few
# sweeps; a device must answer on COM1 (tools/demo.sh starts the simulator).
# The run uses a fresh settings folder, so the picture shows a first run's values; only the port
# map ports.ini is taken over, so that COM numbers lead to the same devices.
set -euo pipefail
cd "$(dirname "$0")/.."

start=0
if [ "${1:-}" = "--start" ]; then
    start=1
    shift
fi
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
# give it a moment to paint, with --start click the switch (left in the acquisition panel, whose
# bottom edge sits on the status line) and let a few sweeps pass, grab the whole screen and close
# the recorder again.
inner='
    "$1" & pid=$!
    for _ in $(seq 150); do
        xwininfo -root -tree 2>/dev/null | grep -q "Регистратор двоичного сигнала" && break
        sleep 0.1
    done
    sleep 1
    if [ "$3" = 1 ]; then
        window=$(xdotool search --name "Регистратор двоичного сигнала" | head -n 1)
        eval "$(xdotool getwindowgeometry --shell "$window")"
        xdotool mousemove --window "$window" 22 $((HEIGHT - 47)) click 1
        sleep 2
    fi
    import -window root "$2"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
'
mkdir -m 700 "$config/runtime"
XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$config/runtime QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 800x560x24" bash -c "$inner" screenshot "$talvir" "$out" "$start"
echo "Screenshot saved to $out"
