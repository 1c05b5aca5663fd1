#!/usr/bin/env bash
# Checks the installation as a user gets it: `cmake --install` into a temporary prefix, the
# desktop entry validated, then the Debian package from `make package`: its dependencies (each
# package once, the Qt plugins' packages among them), its copyright and changelog, then installed
# with its dependencies, its programs run, and removed again.
#   tools/check-package.sh [BUILD_DIR]      (default build-release, as make package builds it)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for program in talvir talvir-record talvir-convert talvir-devsim; do
    [ -x "$prefix/bin/$program" ] || { echo "error: $program not installed" >&2; exit 1; }
done
# Man pages go compressed, as Debian's policy asks.
for page in talvir-record talvir-convert talvir-devsim; do
    [ -f "$prefix/share/man/man1/$page.1.gz" ] || { echo "error: no man page $page(1)" >&2; exit 1; }
    gzip -t "$prefix/share/man/man1/$page.1.gz"
done
desktop-file-validate "$prefix/share/applications/talvir.desktop"
"$prefix/bin/talvir" --version
"$prefix/bin/talvir-record" --version
"$prefix/bin/talvir-convert" --version
"$prefix/bin/talvir-devsim" --version

deb=$(ls "$build"/talvir_*.deb | head -n 1)
fail() { echo "error: $deb: $*" >&2; exit 1; }

# The dependencies by package name, versions dropped. The program loads the X11 platform plugin
# from libqt6gui6 and the SVG plugins from libqt6svg6; qt6-qpa-plugins holds neither.
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
names=$(tr ',' '\n' <<<"$depends" | sed -E 's/^ *([^ (]+).*/\1/')
twice=$(sort <<<"$names" | uniq -d)
[ -z "$twice" ] || fail "depends more than once on: $twice"
for needed in libqt6gui6 libqt6svg6; do
    grep -qx "$needed" <<<"$names" || fail "does not depend on $needed"
done
! grep -qx qt6-qpa-plugins <<<"$names" || fail "depends on qt6-qpa-plugins"

# Every Debian package carries its copyright, machine-readable, and its changelog, whose latest
# entry is the package's version.
doc=./usr/share/doc/talvir
contents=$(dpkg-deb --contents "$deb" | awk '{ print $6 }')
for file in copyright changelog.gz; do
    grep -qx "$doc/$file" <<<"$contents" || fail "no $doc/$file"
done
copyright=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO "$doc/copyright")
head -n 1 <<<"$copyright" |
    grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' ||
    fail "the copyright file is not in the machine-readable format"
grep -q '^Files: \*$' <<<"$copyright" && grep -q '^License: [^ ]' <<<"$copyright" ||
    fail "the copyright file names no licence for all files"
changed=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO "$doc/changelog.gz" | gunzip |
    dpkg-parsechangelog -l - -S Version)
version=$(dpkg-deb --field "$deb" Version)
[ "$changed" = "$version" ] || fail "the changelog's latest version is $changed, the package's $version"

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
talvir --version
talvir --help >/dev/null
talvir-record --version
talvir-record --help >/dev/null
talvir-convert --version
talvir-convert --help >/dev/null
desktop-file-validate /usr/share/applications/talvir.desktop
talvir-devsim --version
talvir-devsim --help >/dev/null
for page in talvir-record talvir-convert talvir-devsim; do
    grep -q "man1/$page\.1\.gz$" <<<"$contents" ||
        { echo "error: $page(1) not in the package" >&2; exit 1; }
done
$sudo dpkg --remove talvir >/dev/null
echo "Package $deb installs, runs and is removed again."
