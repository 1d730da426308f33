#!/usr/bin/env bash
# package.sh [CMAKE_ARGS...]: a Release build (extra arguments go to CMake, e.g. -DCORVANE_BASE_URL=...),
# then into dist/ a Debian package corvane_<version>_<arch>.deb that installs under /usr, and a bundle
# Corvane-<version>-linux-<arch>.tar.xz whose one folder Corvane/ runs from wherever it is unpacked.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/package"
dist="$root/dist"
jobs=${JOBS:-$(nproc)}
"$root/scripts/setup.sh"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$build" -j "$jobs"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
mkdir -p "$dist"

(cd "$build" && cpack -G DEB >/dev/null)
deb="corvane_${version}_$(dpkg --print-architecture).deb"
mv "$build/$deb" "$dist/$deb"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --prefix "$stage/Corvane" --strip >/dev/null
bundle="Corvane-${version}-linux-$(uname -m).tar.xz"
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner -cJf "$dist/$bundle" Corvane

echo "$dist/$deb"
echo "$dist/$bundle"
