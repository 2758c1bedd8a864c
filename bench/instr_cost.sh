#!/usr/bin/env bash
# How often each machine instruction of one function runs, per polygon of a
# seeded triangle set or per frame of the shipped scene, counted by callgrind
# and printed beside the function's disassembly: where poly_cost.sh gives one
# total, this shows which loop, block or set-up step the instructions go to.
# usage: bench/instr_cost.sh BUILD_DIR FAMILY|scene SIZE [FUNCTION]
#   (a build with -DICON_LOOK_BENCH=ON; SIZE is 16px, 200px or 20000px, - for
#    the scene). FUNCTION picks, among the functions whose names contain it,
#    the one that runs the most instructions of its own; by default the
#    busiest of all. Kernels inlined into the walker count in its spans().
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: instr_cost.sh BUILD_DIR FAMILY|scene SIZE [FUNCTION]" >&2
  exit 2
fi
tool="$1/bench/icon_look_poly_cost"
what="$2"
size="$3"
if [ ! -x "$tool" ]; then
  echo "instr_cost.sh: no $tool" >&2
  exit 2
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [ "$what" = scene ]; then reps=20; else reps=4; fi
# Only what runs inside draw_polygons() is counted: not the set's making.
read -r polygons _ < <(valgrind --tool=callgrind --dump-instr=yes \
  --toggle-collect='*draw_polygons*' --callgrind-out-file="$work/out" \
  "$tool" "$what" "$size" "$reps" 2> /dev/null)
# The scene's tool prints no polygon count: per frame there.
if [ "$polygons" = 0 ]; then
  units="$reps" unit=frame
else
  units=$((reps * polygons)) unit=polygon
fi
python3 "$(dirname "$0")/instr_cost.py" "$work/out" "$tool" "$units" "$unit" ${4:+"$4"}
