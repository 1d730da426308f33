#!/usr/bin/env bash
# build.sh demo|asan: configures and builds one of the two trees.
#   demo: the app pointed at the bundled demo service, with tests and benchmarks.
#   asan: the core and shell tests under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:?usage: build.sh demo|asan}
jobs=${JOBS:-$(nproc)}

case "$kind" in
  demo)
    certdir="$root/build/demo-cert"
    "$root/packaging/demo/make-cert.sh" "$certdir" >/dev/null 2>&1 || true
    cert_arg=()
    [ -f "$certdir/cert.pem" ] && cert_arg=(-DCORVANE_DEV_CERT="$certdir/cert.pem")
    cmake -S "$root" -B "$root/build/demo" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCORVANE_BASE_URL=https://localhost:47443 "${cert_arg[@]}" >/dev/null
    ;;
  asan)
    cmake -S "$root" -B "$root/build/asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON \
      -DCORVANE_BUILD_APP=OFF -DCORVANE_BUILD_BENCH=OFF >/dev/null
    ;;
  *) echo "usage: build.sh demo|asan" >&2; exit 2 ;;
esac
cmake --build "$root/build/$kind" -j "$jobs"
