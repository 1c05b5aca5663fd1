#!/usr/bin/env bash
# Checks the installation as a user gets it: `cmake --install` into a temporary prefix, the
# desktop entry validated, then the Debian package from `make package` installed with its
# dependencies, its programs run, and removed again.
#   tools/check-package.sh [BUILD_DIR]      (default build-release, as make package builds it)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for program in talvir talvir-record talvir-devsim; do
    [ -x "$prefix/bin/$program" ] || { echo "error: $program not installed" >&2; exit 1; }
done
for page in talvir-record talvir-devsim; do
    [ -f "$prefix/share/man/man1/$page.1" ] || { echo "error: no man page $page(1)" >&2; exit 1; }
done
desktop-file-validate "$prefix/share/applications/talvir.desktop"
"$prefix/bin/talvir" --version
"$prefix/bin/talvir-record" --version
"$prefix/bin/talvir-devsim" --version

deb=$(ls "$build"/talvir_*.deb | head -n 1)
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
dpkg-deb --field "$deb" Depends
talvir --version
talvir --help >/dev/null
talvir-record --version
talvir-record --help >/dev/null
desktop-file-validate /usr/share/applications/talvir.desktop
talvir-devsim --version
talvir-devsim --help >/dev/null
for page in talvir-record talvir-devsim; do
    dpkg-deb --contents "$deb" | grep -q "man1/$page.1" ||
        { echo "error: $page(1) not in the package" >&2; exit 1; }
done
$sudo dpkg --remove talvir >/dev/null
echo "Package $deb installs, runs and is removed again."
