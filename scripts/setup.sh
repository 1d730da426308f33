#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12. Safe to run again.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config git
  libboost-url1.81-dev libicu-dev nlohmann-json3-dev
  libgtk-4-dev libwebkitgtk-6.0-dev libadwaita-1-dev
  libsoup-3.0-dev libxml2-dev libsodium-dev libarchive-dev xz-utils
  libgtest-dev libgmock-dev libbenchmark-dev
  nodejs python3 python3-gi gir1.2-glib-2.0
  xvfb xauth xdotool x11-utils metacity dbus-daemon dbus-bin libglib2.0-bin imagemagick openssl iproute2
  weston gir1.2-gdkpixbuf-2.0
  clang-14 libclang-rt-14-dev clang-format-14
  dpkg-dev xz-utils desktop-file-utils appstream
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
