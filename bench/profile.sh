#!/usr/bin/env bash
# Where the drawing time of one seeded triangle set, or of the shipped scene's
# frame, goes: perf samples the program counter on its cpu-clock event, a
# timer that needs no hardware counter (virtual machines often expose none).
# Prints the functions by their share of the samples, then the instructions of
# one function (the busiest, or FUNCTION) that took the most samples. A sample
# lands a few instructions after the one that held it up, so read the hot
# instructions as the region they sit in, not one by one.
# usage: bench/profile.sh BUILD_DIR FAMILY|scene SIZE [FUNCTION]
#   (a build with -DICON_LOOK_BENCH=ON; SIZE is 16px, 200px or 20000px, - for
#    the scene)
# PERF_DATA=FILE keeps the samples, for `perf annotate -i FILE` to show the
# hot instructions among their source lines (of a build with -g, such as
# RelWithDebInfo with CMAKE_CXX_FLAGS_RELWITHDEBINFO='-O3 -g -DNDEBUG').
# REPS (default 6000 repetitions of the set, 20000 frames) and TOP (default 40
# instructions) can be set in the environment.
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: profile.sh BUILD_DIR FAMILY|scene SIZE [FUNCTION]" >&2
  exit 2
fi
build="$1"
what="$2"
size="$3"
focus="${4:-}"
tool="$build/bench/icon_look_poly_cost"
if [ ! -x "$tool" ]; then
  echo "profile.sh: no $tool" >&2
  exit 2
fi
if ! command -v perf > /dev/null; then
  echo "profile.sh: perf is not installed (Debian package linux-perf)" >&2
  exit 2
fi
if [ "$what" = scene ]; then reps="${REPS:-20000}"; else reps="${REPS:-6000}"; fi
top="${TOP:-40}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
data="${PERF_DATA:-$work/perf.data}"
if ! perf record -q -e cpu-clock -F 10000 -o "$data" \
  "$tool" "$what" "$size" "$reps" > /dev/null 2> "$work/record.log"; then
  echo "profile.sh: perf could not sample the run:" >&2
  cat "$work/record.log" >&2
  exit 1
fi
perf report -q -i "$data" --stdio --sort symbol --percent-limit 0.3 2> /dev/null |
  sed -E 's/( +-)* *$//' | grep . > "$work/functions"
echo "Samples by function ($what $size):"
cat "$work/functions"
if [ -z "$focus" ]; then
  focus="$(sed -n '1s/^ *[0-9.]*% *\[\.\] //p' "$work/functions")"
fi
echo
echo "Busiest instructions of $focus (share of its samples):"
perf annotate -i "$data" --stdio -s "$focus" 2> /dev/null |
  grep -E '^ +[0-9]+\.[0-9]+ :' | sort -rn | head -n "$top"
