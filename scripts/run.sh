#!/usr/bin/env bash
# Sets up, builds the demo build, starts the bundled demo service and runs the app against it.
# Without a display the app runs under Xvfb and a screenshot is saved.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Where build.sh puts its trees.
out=${CORVANE_BUILD_ROOT:-$root/build}
"$root/scripts/setup.sh"
"$root/scripts/build.sh" demo

state=$(mktemp -d /tmp/corvane-run.XXXXXX)
pids=() groups=()
# Whole process groups: the session bus and what it started (the accessibility bus, the app's web
# processes) go with the app.
cleanup() {
  for g in "${groups[@]}"; do kill -TERM -- "-$g" 2>/dev/null || true; done
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for _ in $(seq 30); do
    alive=0
    for g in "${groups[@]}"; do kill -0 -- "-$g" 2>/dev/null && alive=1; done
    ((alive)) || break
    sleep 0.1
  done
  for g in "${groups[@]}"; do kill -KILL -- "-$g" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

/usr/bin/python3 "$root/packaging/demo/demo_service.py" --cert-dir "$out/demo-cert" \
  --report-file "$state/reports.jsonl" --request-log "$state/requests.jsonl" >"$state/demo.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q '"ready": true' "$state/demo.log" 2>/dev/null && break; sleep 0.1; done
grep -q '"ready": true' "$state/demo.log" || { cat "$state/demo.log" >&2; exit 1; }
echo "Demo service: https://localhost:47443/farm"

app="$out/demo/shell/gtk/corvane"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$app"
else
  # No display: run headless for a while and show what the window looks like.
  export GSK_RENDERER=cairo GTK_A11Y=none WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS=1
  Xvfb -displayfd 3 -screen 0 1440x900x24 3>"$state/display" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$state/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$state/display")"
  setsid dbus-run-session -- "$app" >"$state/app.log" 2>&1 &
  app_pid=$!
  groups+=("$app_pid")
  sleep "${CORVANE_RUN_SECONDS:-6}"
  # An app that has already ended ran nothing worth a screenshot.
  if ! kill -0 "$app_pid" 2>/dev/null; then
    echo "The app ended within ${CORVANE_RUN_SECONDS:-6} s; its output:" >&2
    cat "$state/app.log" >&2
    exit 1
  fi
  import -window root "$state/screenshot.png"
  echo "No display: the app ran under Xvfb; screenshot saved to $state/screenshot.png"
fi
