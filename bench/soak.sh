#!/usr/bin/env bash
# Soak benchmark: the headless viewer for a million frames (default) while a
# script drags the model round and presses the ramp keys, over and over. Samples
# the resident memory once a second and reports it after start-up, at the end,
# its range and a value a minute: it must stay flat, since nothing is allocated
# per frame.
#
#   bench/soak.sh [FRAMES]
set -euo pipefail
cd "$(dirname "$0")/.."
frames="${1:-1000000}"
source bench/headless_build.sh

script=bench/drag_and_ramps.events

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2> /dev/null || true; }

samples="$build/soak-rss.txt"
start=$(date +%s.%N)
"$build/icon_look_headless" --cwd . --frames "$frames" --events "$script" \
  --repeat-events 120 2> "$build/soak-stderr.txt" &
pid=$!
: > "$samples"
seconds=0
while kill -0 "$pid" 2> /dev/null; do
  sleep 1
  seconds=$((seconds + 1))
  now=$(rss_kb "$pid")
  [[ -n "$now" ]] && echo "$seconds $now" >> "$samples"
done
wait "$pid" && code=0 || code=$?
elapsed=$(echo "$(date +%s.%N) - $start" | bc)

echo "frames:            $frames"
echo "exit code:         $code"
echo "messages:          $(wc -l < "$build/soak-stderr.txt")"
printf "wall time:         %.1f s (%.0f frames/s)\n" "$elapsed" "$(echo "$frames / $elapsed" | bc -l)"
# Resident memory in kB, one sample a second (all of them in $samples).
awk '
  NR == 1 { first = $2; low = $2; high = $2 }
  { last = $2; if ($2 < low) low = $2; if ($2 > high) high = $2 }
  $1 == 10 { warm = $2 }
  $1 % 60 == 0 { curve = curve " " $2 }
  END {
    printf "resident at start: %d kB (after 1 s)\n", first
    if (warm != "") printf "resident at 10 s:  %d kB\n", warm
    printf "resident at end:   %d kB (the last sample)\n", last
    printf "lowest, highest:   %d kB, %d kB (%d samples)\n", low, high, NR
    printf "every minute:     %s\n", curve
  }' "$samples"
[[ $code == 0 ]]
