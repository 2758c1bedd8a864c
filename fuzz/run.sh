#!/usr/bin/env bash
# Fuzzes one loader with libFuzzer (clang, AddressSanitizer, UndefinedBehaviorSanitizer).
#
#   fuzz/run.sh TARGET [SECONDS [RUNS]]   fuzz until SECONDS (default 1800) or RUNS
#                                         executions (default 10000000), whichever comes first
#   fuzz/run.sh --merge TARGET            minimise the committed corpus and the work
#                                         corpus into fuzz/corpus/TARGET: the smallest
#                                         inputs that together reach every edge
#
# TARGET is one of: section texture object model anim. The fuzzer starts from the
# committed corpus and the seeds of fuzz/make_seeds.py and writes new inputs to
# build/fuzz-clang/work/TARGET/corpus; its log is work/TARGET/fuzz-0.log, and a crashing
# input is saved there as crash-*, leak-* or timeout-*. One process, one core.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
build="$root/build/fuzz-clang"

merge=0
if [[ "${1:-}" == "--merge" ]]; then merge=1; shift; fi
target="${1:?usage: fuzz/run.sh [--merge] TARGET [SECONDS [RUNS]]}"
seconds="${2:-1800}"
runs="${3:-10000000}"
case "$target" in section|texture|object|model|anim) ;; *) echo "unknown target $target" >&2; exit 2;; esac

CC=clang CXX=clang++ cmake -S . -B "$build" -DICON_LOOK_FUZZ=ON -DICON_LOOK_WERROR=ON \
  -DICON_LOOK_TESTS=OFF -DICON_LOOK_SDL=OFF > "$build.configure.log" 2>&1 || {
  cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j2 --target "${target}_fuzzer" > /dev/null
fuzzer="$build/fuzz/${target}_fuzzer"
committed="$root/fuzz/corpus/$target"
work="$build/work/$target"
mkdir -p "$work/corpus" "$committed"

if [[ $merge == 1 ]]; then
  fresh="$work/merged"
  rm -rf "$fresh" && mkdir -p "$fresh"
  "$fuzzer" -merge=1 -use_counters=0 "$fresh" "$committed" "$work/corpus" 2>&1 | tail -1
  rm -rf "$committed" && mv "$fresh" "$committed"
  echo "fuzz/corpus/$target: $(ls "$committed" | wc -l) files, $(du -sb "$committed" | cut -f1) bytes"
  exit 0
fi

python3 fuzz/make_seeds.py "$build/seeds"
cd "$work"
"$fuzzer" -jobs=1 -workers=1 -max_total_time="$seconds" -runs="$runs" -timeout=10 \
  -dict="$root/fuzz/icon_look.dict" -print_final_stats=1 \
  corpus "$committed" "$build/seeds/$target"
tail -n 20 fuzz-0.log
