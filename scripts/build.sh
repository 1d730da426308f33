#!/usr/bin/env bash
# build.sh demo|asan|fuzz|release|debian: configures and builds one of the trees.
#   demo:    the app pointed at the bundled demo service, with tests and benchmarks.
#   asan:    the core and shell tests under AddressSanitizer and UndefinedBehaviorSanitizer.
#   fuzz:    the libFuzzer targets (tests/fuzz), built with clang under ASan and UBSan; run by scripts/fuzz.sh.
#   release: the app alone, as a Release build.
#   debian:  the app alone, with Debian's own compiler flags and no build type, as a Debian package builds it.
# The project's own builds treat warnings as errors; a packager's does not have to.
# CORVANE_BUILD_ROOT puts the trees elsewhere than build/ (the Debian 13 root shares this checkout).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${CORVANE_BUILD_ROOT:-$root/build}
kind=${1:?usage: build.sh demo|asan|fuzz|release|debian}
jobs=${JOBS:-$(nproc)}
app_only=(-DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF)

case "$kind" in
  demo)
    certdir="$out/demo-cert"
    "$root/packaging/demo/make-cert.sh" "$certdir" >/dev/null 2>&1 || true
    cert_arg=()
    [ -f "$certdir/cert.pem" ] && cert_arg=(-DCORVANE_DEV_CERT="$certdir/cert.pem")
    cmake -S "$root" -B "$out/demo" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_WERROR=ON \
      -DCORVANE_BASE_URL=https://localhost:47443 "${cert_arg[@]}" >/dev/null
    ;;
  asan)
    cmake -S "$root" -B "$out/asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON -DCORVANE_WERROR=ON \
      -DCORVANE_BUILD_APP=OFF -DCORVANE_BUILD_BENCH=OFF >/dev/null
    ;;
  fuzz)
    # The newest clang the release has (14 on Debian 12, 19 on Debian 13).
    fuzz_cxx=${CORVANE_FUZZ_CXX:-$(compgen -c clang++- | grep -E '^clang\+\+-[0-9]+$' | sort -t- -k2 -n | tail -n 1)}
    cmake -S "$root" -B "$out/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER="${fuzz_cxx:-clang++-14}" -DCORVANE_FUZZ=ON \
      -DCORVANE_BUILD_APP=OFF -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF >/dev/null
    exec cmake --build "$out/fuzz" -j "$jobs" --target corvane_fuzzers
    ;;
  release)
    cmake -S "$root" -B "$out/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_WERROR=ON \
      "${app_only[@]}" >/dev/null
    ;;
  debian)
    # debhelper hands CMake the preprocessor flags inside the compiler flags.
    CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
      cmake -S "$root" -B "$out/debian" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
      -DCORVANE_WERROR=ON "${app_only[@]}" >/dev/null
    ;;
  *) echo "usage: build.sh demo|asan|fuzz|release|debian" >&2; exit 2 ;;
esac
cmake --build "$out/$kind" -j "$jobs"
