#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 or 13. Safe to run again.
set -euo pipefail

# The names that move with the release: Boost.URL's development files and the clang the fuzz targets build
# with. The code style is clang-format 14's output, so only Debian 12 gets a formatter (format.sh checks with
# clang-format-14 alone).
. /etc/os-release
case "${VERSION_ID:-}" in
  12) boost_url=libboost-url1.81-dev llvm=14 format=(clang-format-14) ;;
  13) boost_url=libboost-url1.83-dev llvm=19 format=() ;;
  *)
    # Another Debian-like release: whatever it offers, newest first.
    boost_url=$(apt-cache pkgnames libboost-url1. | grep -E '^libboost-url1\.[0-9]+-dev$' | sort -V | tail -n 1)
    llvm=$(apt-cache pkgnames libclang-rt- | sed -n 's/^libclang-rt-\([0-9]*\)-dev$/\1/p' | sort -n | tail -n 1)
    format=()
    ;;
esac

packages=(
  g++ cmake ninja-build pkg-config git
  "$boost_url" libicu-dev nlohmann-json3-dev
  libgtk-4-dev libwebkitgtk-6.0-dev libadwaita-1-dev
  libsoup-3.0-dev libxml2-dev libsodium-dev libarchive-dev xz-utils
  libgtest-dev libgmock-dev libbenchmark-dev
  nodejs python3 python3-gi gir1.2-glib-2.0
  xvfb xauth xdotool xclip x11-utils metacity dbus-daemon dbus-bin libglib2.0-bin imagemagick openssl iproute2
  weston gir1.2-gdkpixbuf-2.0
  "clang-$llvm" "libclang-rt-$llvm-dev" "${format[@]}"
  at-spi2-core gir1.2-atspi-2.0
  dpkg-dev file xz-utils desktop-file-utils appstream
  # The app's icon is SVG, read through librsvg's pixbuf loader (a recommendation only, on Debian 13).
  librsvg2-common
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Another repository may provide node under the same package name; any node will do.
if command -v node >/dev/null; then
  missing=("${missing[@]/nodejs}")
fi
read -r -a missing <<<"${missing[*]}"
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
