#!/usr/bin/env bash
# Soak benchmark: the headless viewer for a million frames (default) while a
# script drags the model round and presses the ramp keys, over and over. Reports
# the resident memory shortly after start-up and just before the end, and its
# peak: the figures must stay flat, since nothing is allocated per frame.
#
#   bench/soak.sh [FRAMES]
set -euo pipefail
cd "$(dirname "$0")/.."
frames="${1:-1000000}"
build=build/bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DICON_LOOK_TESTS=OFF \
  -DICON_LOOK_SDL=OFF > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j2 --target icon_look_headless > /dev/null

script=bench/drag_and_ramps.events

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || true; }

start=$(date +%s.%N)
"$build/icon_look_headless" --cwd . --frames "$frames" --events "$script" \
  --repeat-events 120 2> "$build/soak-stderr.txt" &
pid=$!
first="" last="" peak=0 samples=0
while kill -0 "$pid" 2> /dev/null; do
  sleep 1
  now=$(rss_kb "$pid")
  [[ -z "$now" ]] && continue
  samples=$((samples + 1))
  # The first sample after a second, when start-up is long done.
  [[ -z "$first" ]] && first=$now
  last=$now
  (( now > peak )) && peak=$now
done
wait "$pid" && code=0 || code=$?
elapsed=$(echo "$(date +%s.%N) - $start" | bc)

echo "frames:            $frames"
echo "exit code:         $code"
echo "messages:          $(wc -l < "$build/soak-stderr.txt")"
printf "wall time:         %.1f s (%.0f frames/s)\n" "$elapsed" "$(echo "$frames / $elapsed" | bc -l)"
echo "resident at start: ${first:-?} kB"
echo "resident at end:   ${last:-?} kB"
echo "resident peak:     ${peak} kB ($samples samples, one a second)"
if [[ -n "$first" && "$last" != "$first" ]]; then
  echo "resident memory changed by $((last - first)) kB"
fi
[[ $code == 0 ]]
