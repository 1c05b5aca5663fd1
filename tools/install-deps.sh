#!/usr/bin/env bash
# Installs the Debian packages that are missing, in three sets:
#   tools/install-deps.sh               building, running and packing the program
#   tools/install-deps.sh --screenshot  and the virtual X screen that the demo without a display
#                                       and tools/screenshot.sh take a picture on
#   tools/install-deps.sh --tests       and all that the tests, benchmarks and fuzz targets use
# Safe to run again: it asks apt only for what dpkg does not already have.
set -euo pipefail

program=(
    g++ cmake ninja-build make pkg-config dpkg-dev
    qt6-base-dev qt6-svg-dev libqt6svg6 libgl-dev libxcb1-dev libuemf-dev zlib1g-dev libzip-dev
    libsigrokdecode-dev libsigrokdecode4
    fonts-dejavu-core
)
screenshot=(xvfb xauth x11-utils xdotool imagemagick)
tests=(
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-dev twm
    python3-numpy python3-pandas sigrok-cli desktop-file-utils
    x11-apps libreoffice-draw-nogui poppler-utils xclip locales
)

packages=("${program[@]}")
case "${1:-}" in
    "") ;;
    --screenshot) packages+=("${screenshot[@]}") ;;
    --tests) packages+=("${screenshot[@]}" "${tests[@]}") ;;
    *)
        echo "usage: $0 [--screenshot | --tests]" >&2
        exit 2
        ;;
esac

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then
        sudo="sudo"
    else
        echo "error: these packages are missing and this user cannot install them: ${missing[*]}" >&2
        exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
