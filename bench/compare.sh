#!/usr/bin/env bash
# Drawing time of one or more builds on one seeded triangle set, or on the
# shipped scene's frame (its ordering-table build included), each build timed
# in turn for several rounds: the best round of each build counts. On a shared
# machine a single benchmark run varies by 10 % and more; the best of a few
# alternating whole runs settles to about 1 %, enough to tell a small change
# from none. The median of the builds' times in the same round, taken against
# the first build's, is printed as well: it holds where the speed drifts.
# usage: bench/compare.sh FAMILY|scene SIZE BUILD_DIR...
#   (builds with -DICON_LOOK_BENCH=ON; SIZE is 16px, 200px or 20000px, - for the scene)
# ROUNDS (default 7) and REPS (default 2000 repetitions of the set, 5000 frames)
# can be set in the environment.
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: compare.sh FAMILY|scene SIZE BUILD_DIR..." >&2
  exit 2
fi
what="$1"
size="$2"
shift 2
builds=("$@")
rounds="${ROUNDS:-7}"
if [ "$what" = scene ]; then reps="${REPS:-5000}"; else reps="${REPS:-2000}"; fi
for build in "${builds[@]}"; do
  if [ ! -x "$build/bench/icon_look_poly_cost" ]; then
    echo "compare.sh: no $build/bench/icon_look_poly_cost" >&2
    exit 2
  fi
done
# Nanoseconds one run of a build takes.
run_ns() {
  local start end
  start="$(date +%s%N)"
  "$1/bench/icon_look_poly_cost" "$what" "$size" "$2" > /dev/null
  end="$(date +%s%N)"
  echo $((end - start))
}
# Keeps the smaller of table[key] and a value.
keep_least() {
  local -n table="$1"
  if [ -z "${table[$2]:-}" ] || [ "$3" -lt "${table[$2]}" ]; then table[$2]="$3"; fi
}
declare -A best best_start
# Each round's times, in the order of the builds given, for the paired view.
round_times=()
count="${#builds[@]}"
for ((round = 0; round < rounds; round++)); do
  # Each round starts with the next build: the first run of a round tends to
  # be the slowest, and no build should always take that place.
  times=()
  for ((turn = 0; turn < count; turn++)); do
    k=$(((round + turn) % count))
    build="${builds[$k]}"
    # The start-up alone (one repetition), so that it drops out.
    keep_least best_start "$build" "$(run_ns "$build" 1)"
    times[k]="$(run_ns "$build" "$reps")"
    keep_least best "$build" "${times[k]}"
  done
  round_times+=("${times[*]}")
done
read -r polygons _ < <("${builds[0]}/bench/icon_look_poly_cost" "$what" "$size" 1)
first=""
for build in "${builds[@]}"; do
  drawing=$((best[$build] - best_start[$build]))
  [ -n "$first" ] || first="$drawing"
  awk -v b="$build" -v d="$drawing" -v r="$reps" -v p="$polygons" -v f="$first" 'BEGIN {
    if (p > 0) printf "%-24s %10.1f ns a polygon", b, d / ((r - 1) * p);
    else printf "%-24s %10.2f us a frame", b, d / ((r - 1) * 1000);
    printf "   %+6.1f %%\n", (d - f) * 100 / f }'
done
# The machine's speed drifts over seconds and minutes, and the best rounds of
# two builds may come from different drifts. Runs next to each other in a
# round share the drift: the median of each build's time over the first's in
# the same round (start-up included) is a second view, less swayed by it.
for ((k = 1; k < count; k++)); do
  printf '%s\n' "${round_times[@]}" | awk -v k=$((k + 1)) '{ print $k / $1 }' | sort -g |
    awk -v k=$((k + 1)) '{ v[NR] = $1 }
      END {
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "paired: build %d against build 1, median of %d rounds: %+6.1f %%\n", k, NR,
          (m - 1) * 100
      }'
done
