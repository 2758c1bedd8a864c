#!/usr/bin/env bash
# Makes the README's pictures from the headless viewer: docs/viewer.png (one
# frame) and docs/walk.png (a strip of frames of the walk). Needs ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
runner="$build/icon_look_headless"
[ -x "$runner" ] || { echo "no $runner: build first (or pass the build directory)"; exit 1; }
scripts/install-deps.sh imagemagick
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

printf '1 move 200 200\n2 ldown\n3 move 230 190\n4 lup\n' > "$work/turn.events"
"$runner" --cwd . --frames 48 --events "$work/turn.events" --screenshot docs/viewer.png

frames=()
for n in 4 12 20 28 36 44; do
  "$runner" --cwd . --frames "$n" --screenshot "$work/walk-$n.png"
  frames+=("$work/walk-$n.png")
done
convert "${frames[@]}" -crop 200x300+152+70 +repage +append docs/walk.png
convert docs/viewer.png docs/viewer.png  # recompressed
echo "docs/viewer.png docs/walk.png"
