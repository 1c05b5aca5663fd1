#!/usr/bin/env bash
# Opens the recorder for a person to try, with the device simulator playing the measuring device
# as COM1: a 1 kHz square wave. Turning the switch on shows the signal.
#   tools/demo.sh [BUILD_DIR]      (make demo calls it with the build folder)
# With a display the recorder opens on it. Without one (DISPLAY and WAYLAND_DISPLAY unset) it runs
# on a virtual X screen, its switch is turned on, and a screenshot is saved instead.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
talvir=$build/app/talvir
devsim=$build/tools/devsim/talvir-devsim
[ -x "$devsim" ] || { echo "error: $devsim not found; build first (make build)" >&2; exit 1; }

# The simulator registers its pseudo-terminal as COM1 in the port map and prints its path first;
# it takes the registration back when it ends with the recorder.
first_line=$(mktemp)
"$devsim" --com 1 --source square:1000 >"$first_line" &
sim=$!
trap 'kill -TERM "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -f "$first_line"' EXIT
for _ in $(seq 50); do
    [ -s "$first_line" ] && break
    kill -0 "$sim" 2>/dev/null || break
    sleep 0.1
done
slave=$(head -n 1 "$first_line")
[ -n "$slave" ] || { echo "error: talvir-devsim did not start" >&2; exit 1; }
echo "Device simulator: $slave as COM1, a 1 kHz square wave."

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$talvir"
else
    shot=$build/screenshots/talvir.png
    echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running the recorder under"
    echo "xvfb-run, turning its switch on and saving a screenshot to $shot."
    echo "To use the recorder itself, run make demo in a desktop session."
    tools/screenshot.sh --start "$build" "$shot"
fi
