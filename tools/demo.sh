#!/usr/bin/env bash
# Opens the recorder for a person to try.
#   tools/demo.sh [BUILD_DIR]      (make demo calls it with the build folder)
# With a display the recorder opens on it. Without one (DISPLAY and WAYLAND_DISPLAY unset) it runs
# on a virtual X screen and a screenshot is saved instead.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
talvir=$build/app/talvir

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$talvir"
else
    shot=$build/screenshots/talvir.png
    echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running the recorder under"
    echo "xvfb-run and saving a screenshot to $shot."
    echo "To use the recorder itself, run $talvir in a desktop session."
    tools/screenshot.sh "$build" "$shot"
fi
