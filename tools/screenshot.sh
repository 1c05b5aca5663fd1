#!/usr/bin/env bash
# Opens the recorder on a virtual X screen, waits until its window is mapped and saves a
# picture of the screen.
#   tools/screenshot.sh [--start] [--settings INI] [--click X,Y | --key KEY]... [BUILD_DIR]
#                       [OUTPUT_PNG]
# Defaults: BUILD_DIR=build, OUTPUT_PNG=BUILD_DIR/screenshots/talvir.png.
# --start clicks the start switch once the window is up and takes the picture after a few
# sweeps; a device must answer on COM1 (tools/demo.sh starts the simulator).
# --settings starts from the window's settings file INI (sweep mode, trigger, statistics panel)
# instead of a first run's values.
# --click X,Y (a click at X,Y of the window's contents) and --key KEY (an xdotool key name) act
# in the order given, after the start and its sweeps, before the picture.
# The run uses a fresh settings folder, so the picture shows a first run's values unless
# --settings gives others; only the port map ports.ini is taken over, so that COM numbers lead to
# the same devices.
set -euo pipefail
cd "$(dirname "$0")/.."

start=0
settings=
actions=()
while [ $# -gt 0 ]; do
    case "$1" in
    --start) start=1; shift ;;
    --settings) settings=$2; shift 2 ;;
    --click) actions+=("click ${2/,/ }"); shift 2 ;;
    --key) actions+=("key $2"); shift 2 ;;
    *) break ;;
    esac
done
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
[ -n "$settings" ] && cp "$settings" "$config/talvir/talvir.INI"

# Runs inside the virtual X server: start the recorder, wait for its window (at most 15 s),
# give it a moment to paint, with --start click the switch (left in the acquisition panel, whose
# bottom edge sits on the status line) and let a few sweeps pass, run the clicks and keys, grab
# the whole screen and close the recorder again.
inner='
    talvir=$1 out=$2 start=$3
    shift 3
    "$talvir" & pid=$!
    for _ in $(seq 150); do
        xwininfo -root -tree 2>/dev/null | grep -q "Регистратор двоичного сигнала" && break
        sleep 0.1
    done
    sleep 1
    # By its class: under a locale that X does not know, such as ps_AF.UTF-8, the title is not
    # found by name.
    window=$(xdotool search --onlyvisible --class talvir | head -n 1)
    if [ "$start" = 1 ]; then
        eval "$(xdotool getwindowgeometry --shell "$window")"
        xdotool mousemove --window "$window" 22 $((HEIGHT - 47)) click 1
        sleep 2
    fi
    for action in "$@"; do
        set -- $action
        case "$1" in
        click) xdotool mousemove --window "$window" "$2" "$3" click 1 ;;
        key) xdotool key "$2" ;;
        esac
        sleep 0.5
    done
    import -window root "$out"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
'
mkdir -m 700 "$config/runtime"
XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$config/runtime QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 800x560x24" bash -c "$inner" screenshot "$talvir" "$out" "$start" \
    "${actions[@]}"
echo "Screenshot saved to $out"
