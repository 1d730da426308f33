#!/usr/bin/env bash
# fuzz.sh [SECONDS] [TARGET...]: builds the fuzz targets (build/fuzz) and runs each for SECONDS (default 60),
# one after another, over a working corpus seeded from tests/fuzz/corpus/TARGET. A finding stops the run
# and leaves its input (crash-*, timeout-*, oom-*) in build/fuzz/findings/TARGET.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: fuzz.sh [SECONDS] [TARGET...]" >&2; exit 2; }

JOBS=${JOBS:-$(nproc)} "$root/scripts/build.sh" fuzz >/dev/null
out="${CORVANE_BUILD_ROOT:-$root/build}/fuzz"
bin="$out/tests/fuzz"
targets=("$@")
if ((${#targets[@]} == 0)); then
  for seeds in "$root"/tests/fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
  work="$out/corpus/$target" findings="$out/findings/$target"
  mkdir -p "$work" "$findings"
  log="$out/$target.log"
  if ! "$bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
      -artifact_prefix="$findings/" -print_final_stats=1 "$work" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "fuzz.sh: $target found a fault (input in $findings)" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "$target: ${runs:-?} executions in ${seconds} s, no finding"
done
