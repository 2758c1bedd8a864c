#!/usr/bin/env bash
# Instructions per polygon and per pixel of each rasterizer family on the
# seeded triangle sets of the benchmarks (16 and 200 pixels by default), and
# per frame of the shipped scene's drawing, counted by callgrind: everything
# that draw_polygons() runs, the entry points' checks, clipping, edge walk and
# spans included.
# usage: bench/poly_cost.sh BUILD_DIR [SIZE...]   (a build with -DICON_LOOK_BENCH=ON)
# ICON_LOOK_SCALAR=1 counts the plain span loops instead of the kernels.
set -euo pipefail
build="${1:?usage: poly_cost.sh BUILD_DIR [SIZE...]}"
shift
sizes=("${@:-16px 200px}")
tool="$build/bench/icon_look_poly_cost"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Instructions of draw_polygons() over a run, and what one repetition drew.
count() {
  local reps="$1"
  shift
  local drawn
  drawn="$(valgrind --tool=callgrind --callgrind-out-file="$work/out" "$tool" "$@" "$reps" \
    2> /dev/null)"
  local ir
  ir="$(callgrind_annotate --inclusive=yes --threshold=100 "$work/out" 2> /dev/null |
    sed -n 's/^ *\([0-9,]*\) ([^)]*) *[^ ]*:.*draw_polygons(.*/\1/p' | head -n 1 | tr -d ,)"
  echo "$ir $drawn"
}
printf '%-12s %-8s %12s %12s\n' family size "per polygon" "per pixel"
for size in ${sizes[@]}; do
  for family in flat gouraud gouraud_add tex tex_add tex_half lit; do
    read -r ir polygons pixels < <(count 4 "$family" "$size")
    awk -v f="$family" -v s="$size" -v ir="$ir" -v n="$polygons" -v p="$pixels" \
      'BEGIN { printf "%-12s %-8s %12.0f %12.2f\n", f, s, ir / (4 * n), ir / (4 * p) }'
  done
done
read -r ir _ < <(count 20 scene -)
awk -v ir="$ir" 'BEGIN { printf "scene: %.0f instructions per frame drawn\n", ir / 20 }'
