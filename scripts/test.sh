#!/usr/bin/env bash
# Sets up, checks the code style, builds and runs every test: core and shell under ASan + UBSan, a few
# seconds of each fuzz target, then core, shell and end-to-end tests of the real app.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Where build.sh puts its trees.
out=${CORVANE_BUILD_ROOT:-$root/build}
"$root/scripts/setup.sh"
# One code style: a file that differs from .clang-format fails the run before anything is built.
"$root/scripts/format.sh" --check
"$root/scripts/build.sh" asan
"$root/scripts/build.sh" demo
# What a packager builds: the app alone, Release and with Debian's flags, warning-free (build only).
"$root/scripts/build.sh" release
"$root/scripts/build.sh" debian
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$out/asan" --no-tests=error --output-on-failure -j "$(nproc)"
# Each fuzz target for a few seconds over its seeds: a smoke test (scripts/fuzz.sh runs them for longer).
"$root/scripts/fuzz.sh" 3

# On Debian 12, Debian 13 too: the app built there with the project's strict flags, and this release's
# bundle run there through an end-to-end smoke run (scripts/debian13.sh; CORVANE_SKIP_DEBIAN13=1 leaves
# it out). On Debian 13 itself everything above ran there already.
if [ "${CORVANE_SKIP_DEBIAN13:-}" != 1 ] && grep -qx 'VERSION_CODENAME=bookworm' /etc/os-release; then
  "$root/scripts/debian13.sh" ci
fi

# The demo service listens on fixed loopback ports; as root, a private network namespace keeps them
# clear of anything else on the machine.
demo_tests=(ctest --test-dir "$out/demo" --no-tests=error --output-on-failure -j "$(nproc)")
if [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
  exec unshare --net -- bash -c 'ip link set lo up && exec "$@"' _ "${demo_tests[@]}"
fi
exec "${demo_tests[@]}"
