#!/usr/bin/env bash
# package.sh [CMAKE_ARGS...]: a Release build (extra arguments go to CMake, e.g. -DCORVANE_BASE_URL=...),
# then into dist/ a Debian package corvane_<version>-1~<release>_<arch>.deb that installs under /usr, its
# dependencies read from the release it is built on (deb12, deb13, ...), and a bundle
# Corvane-<version>-linux-<arch>.tar.xz whose one folder Corvane/ runs from wherever it is unpacked, on
# this release and the ones after it (nothing it links is named for one release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Another release sharing this tree (scripts/debian13.sh) builds in a folder of its own.
build="${CORVANE_BUILD_ROOT:-$root/build}/package"
dist="$root/dist"
jobs=${JOBS:-$(nproc)}
"$root/scripts/setup.sh"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$build" -j "$jobs"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
mkdir -p "$dist"

# The release in the package's version: packages built on two releases differ in their dependencies' names
# (Debian 13's t64 libraries), and the later release's sorts above the earlier one's.
release=$(. /etc/os-release && echo "${ID/#debian/deb}${VERSION_ID:-}")
deb="corvane_${version}-1~${release}_$(dpkg --print-architecture).deb"
rm -f "$build/$deb"
(cd "$build" && cpack -G DEB -D CPACK_DEBIAN_PACKAGE_RELEASE="1~$release" >/dev/null)
mv "$build/$deb" "$dist/$deb"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --prefix "$stage/Corvane" --strip >/dev/null
bundle="Corvane-${version}-linux-$(uname -m).tar.xz"
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner -cJf "$dist/$bundle" Corvane

echo "$dist/$deb"
echo "$dist/$bundle"
