#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need, when they are missing.
# Safe to run again: it asks apt only for what dpkg does not already have.
set -euo pipefail

packages=(
    g++ cmake ninja-build make pkg-config
    qt6-base-dev qt6-svg-dev libqt6svg6 libgl-dev libxcb1-dev libuemf-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-dev twm
    python3-numpy python3-pandas sigrok-cli desktop-file-utils dpkg-dev
    xvfb xauth x11-apps x11-utils xdotool imagemagick fonts-dejavu-core
    libreoffice-draw-nogui poppler-utils xclip locales
)

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
