#!/usr/bin/env bash
# Sets up, builds the demo build and shows it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" demo
"$root/build/demo/tools/corvane-rules" menu
