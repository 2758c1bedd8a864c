#!/usr/bin/env bash
# Instructions per pixel of every span routine, counted by callgrind: the
# routines run on spans of 256 and 512 pixels; the difference is the cost of
# 256 more pixels, so per-span set-up drops out. Also prints the whole cost
# of a 256-pixel span per pixel.
# usage: bench/span_cost.sh BUILD_DIR   (a build with -DICON_LOOK_BENCH=ON)
set -euo pipefail
build="${1:?usage: span_cost.sh BUILD_DIR}"
tool="$build/bench/icon_look_span_cost"
calls=200
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for length in 256 512; do
  valgrind --tool=callgrind --callgrind-out-file="$work/out.$length" "$tool" "$length" "$calls" \
    > /dev/null 2>&1
  callgrind_annotate --inclusive=yes --threshold=100 "$work/out.$length" 2>/dev/null |
    sed -n 's/^ *\([0-9,]*\) ([^)]*) *[^ ]*:.*::span_\([a-z_]*\)() .*/\2 \1/p' |
    tr -d , > "$work/ir.$length"
done
printf '%-12s %16s %16s\n' routine "per pixel" "256-px span/px"
join <(sort "$work/ir.256") <(sort "$work/ir.512") |
  awk -v calls="$calls" '{ printf "%-12s %16.2f %16.2f\n", $1, ($3 - $2) / (256 * calls), $2 / (256 * calls) }'
