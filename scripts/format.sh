#!/usr/bin/env bash
# Applies the project's C++ style (.clang-format); with --check, lists what differs and fails instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
format=$(command -v clang-format-14 || command -v clang-format)
mapfile -t files < <(git ls-files '*.cpp' '*.hpp' '*.h' '*.c')
if [ "${1:-}" = "--check" ]; then
  exec "$format" --dry-run -Werror "${files[@]}"
fi
exec "$format" -i "${files[@]}"
