#!/usr/bin/env bash
# Sets up, builds and runs every test: core, shell and end-to-end, then core and shell again under sanitizers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" asan
"$root/scripts/build.sh" demo
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$root/build/asan" --output-on-failure -j "$(nproc)"
ctest --test-dir "$root/build/demo" --output-on-failure -j "$(nproc)"
