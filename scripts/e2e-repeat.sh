#!/usr/bin/env bash
# Runs the end-to-end modules N times in a row (default 10) on an existing demo build and stops at the
# first failure: the proof that they pass the first time. One line per run goes to stdout.
#   scripts/e2e-repeat.sh [N]     (after scripts/build.sh demo)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-10}
build=${CORVANE_BUILD_ROOT:-$root/build}/demo
logs=$build/e2e-repeat
mkdir -p "$logs"
run_once() {
  local cmd=(ctest --test-dir "$build" -L e2e --output-on-failure)
  if [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
    unshare --net -- bash -c 'ip link set lo up && exec "$@"' _ "${cmd[@]}"
  else
    "${cmd[@]}"
  fi
}
for i in $(seq 1 "$runs"); do
  start=$(date +%s)
  if run_once >"$logs/run-$i.log" 2>&1; then
    echo "run $i: passed in $(($(date +%s) - start)) s ($(grep -c ' Passed ' "$logs/run-$i.log") modules)"
  else
    echo "run $i: FAILED after $(($(date +%s) - start)) s, see $logs/run-$i.log"
    grep -E '\*\*\*Failed|Timeout|FAIL:|ERROR:' "$logs/run-$i.log" | head -20
    exit 1
  fi
done
echo "$runs consecutive runs passed"
