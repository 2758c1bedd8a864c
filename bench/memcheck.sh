#!/usr/bin/env bash
# Valgrind memcheck of start-up, FRAMES frames (default 100) of a drag and the
# ramp keys, and the release sequence: fails on any memory error or leak.
#
#   bench/memcheck.sh [FRAMES]
set -euo pipefail
cd "$(dirname "$0")/.."
frames="${1:-100}"
source bench/headless_build.sh

log="$build/memcheck.log"
code=0
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all \
  --track-origins=yes --error-exitcode=99 --log-file="$log" \
  "$build/icon_look_headless" --cwd . --frames "$frames" --events bench/drag_and_ramps.events \
  --repeat-events 120 --trace "$build/memcheck-trace.txt" || code=$?
echo "frames run: $(grep -c '^frame ' "$build/memcheck-trace.txt")," \
  "release steps: $(grep -c '^release: ' "$build/memcheck-trace.txt")"
sed -n '/HEAP SUMMARY/,$p' "$log" | sed 's/^==[0-9]*== //'
echo "exit code: $code (99: valgrind found errors; the full log is $log)"
[[ $code == 0 ]]
