#!/usr/bin/env bash
# Rewrites the golden frames in tests/golden from the current build. Run it only
# for a change that is meant to change pixels, and say why in the commit.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
runner="$build/icon_look_headless"
[ -x "$runner" ] || { echo "no $runner: build first (or pass the build directory)"; exit 1; }
while read -r name frames events; do
  case "$name" in ""|\#*) continue ;; esac
  args=(--cwd . --frames "$frames" --screenshot "tests/golden/$name.bmp")
  [ "$events" != "-" ] && args+=(--events "tests/golden/$events")
  "$runner" "${args[@]}"
  echo "tests/golden/$name.bmp"
done < tests/golden/cases.txt
