#!/usr/bin/env bash
# debian13.sh [COMMAND...]: runs COMMAND (a login shell without one) as root inside a Debian 13 system
# kept in build/trixie, made with debootstrap from Debian's archive the first time (a few minutes) and
# reused after. The repository is bind-mounted at /src inside; the mounts go when this script ends,
# whichever way it ends.
#   debian13.sh ci: what CI runs there: the README's set-up, the app built with the project's strict flags,
#   and the bundle built here on the host (from build/demo) through an end-to-end smoke run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sys="$root/build/trixie"
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
[ "$(id -u)" -eq 0 ] || exec sudo -E "$0" "$@"

if [ ! -e "$sys/.complete" ]; then
  command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
  rm -rf "$sys"
  mkdir -p "$sys"
  debootstrap --variant=minbase trixie "$sys" "$mirror" >"$root/build/trixie.log" 2>&1 ||
    { tail -n 20 "$root/build/trixie.log" >&2; exit 1; }
  # The packages the set-up installs need no recommendations; neither do they need documentation.
  printf 'APT::Install-Recommends "false";\n' >"$sys/etc/apt/apt.conf.d/90corvane"
  touch "$sys/.complete"
fi

mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" 2>/dev/null || true
  done
}
trap cleanup EXIT
bind() {
  mkdir -p "$sys$2"
  mount --bind "$1" "$sys$2"
  mounted+=("$sys$2")
}
bind /proc /proc
bind /sys /sys
bind /dev /dev
bind /dev/pts /dev/pts
bind "$root" /src
mkdir -p "$sys/dev/shm" && mount -t tmpfs shm "$sys/dev/shm" && mounted+=("$sys/dev/shm")
cp -L /etc/resolv.conf "$sys/etc/resolv.conf"

in_root() {
  chroot "$sys" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 JOBS="${JOBS:-}" CORVANE_BUILD_ROOT=/src/build/debian13 "$@"
}

if [ "${1:-}" != "ci" ]; then
  (($#)) || set -- bash -l
  in_root "$@"
  exit
fi

started=$(date +%s)
# The bundle as a person gets it from this (older) release: installed from the host's demo build.
bundle="$root/build/debian13/bundle"
rm -rf "$bundle"
cmake --install "$root/build/demo" --prefix "$bundle/Corvane" --strip >/dev/null
in_root bash -ec '
  cd /src
  scripts/setup.sh
  scripts/build.sh release
  # The bundle from the older release, its demo certificate and the web page read by a screen reader.
  unshare --net -- bash -c "ip link set lo up && cd tests/e2e && CORVANE_APP=/src/build/debian13/bundle/Corvane/bin/corvane \
    CORVANE_BUILD_DIR=/src/build/debian13/bundle CORVANE_CERT_DIR=/src/build/demo-cert \
    PYTHONDONTWRITEBYTECODE=1 exec /usr/bin/python3 -m unittest -v smoke_bundle"
'
echo "debian13.sh: Debian 13 stage took $(($(date +%s) - started)) s"
