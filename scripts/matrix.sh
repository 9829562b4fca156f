#!/usr/bin/env bash
# Regenerates the reference results in results/ (or the directory given):
#   matrix.*             the maps of MAPS over the key distributions uniform, zipf and latest
#                        and the key spaces 10^7 and 10^8, REPETITIONS runs each (5 by default)
#   matrix-1e9.*         the same at key space 10^9, one run (its fills take minutes per map)
#   huge-pages.*         btree, csbtree and abslbtree at 10^7 (all three distributions) with
#                        every map on transparent huge pages (mapbench --huge-pages)
#   huge-pages-1e8.*     the same at 10^8, uniform keys
#   best-pairs.*         the default workload with both trees at several (k, k_star) pairs
#   memory-floor.txt     build/bench/memory-floor at the working set of each key space of the
#                        matrix (scripts/plot.sh --floor-sizes), the floor line of the p50 plots
# Every key space is filled to a tenth, then 10M operations of the default mix run; so the
# 10^7 cells are the default workload. Each name has a table (.txt), a CSV and a JSON file
# with the machine's context; the plots of matrix.csv and matrix-1e9.csv go to plots/.
# About 70 minutes on 2 cores.
# Usage: scripts/matrix.sh [outdir]   (environment: BUILD=build REPETITIONS=5 MAPS=...)
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-results}
build=${BUILD:-build}
maps=${MAPS:-btree,csbtree,abslbtree,judy}
repetitions=${REPETITIONS:-5}
mkdir -p "$out/plots"
run() {
  local name=$1
  shift
  "$build/bench/mapbench" --ops 10000000 --no-progress --json "$out/$name.json" \
    --csv "$out/$name.csv" "$@" | tee "$out/$name.txt"
}
distributions=(--distribution uniform,zipf,latest)
trees=(-m btree,csbtree,abslbtree)
run matrix -m "$maps" "${distributions[@]}" --key-spaces 10000000,100000000 -r "$repetitions"
run matrix-1e9 -m "$maps" "${distributions[@]}" --key-spaces 1000000000 -r 1
run huge-pages "${trees[@]}" --huge-pages "${distributions[@]}" --key-spaces 10000000 \
  -r "$repetitions"
run huge-pages-1e8 "${trees[@]}" --huge-pages --key-spaces 100000000 -r "$repetitions"
run best-pairs "${trees[@]}" --k-pairs 16:16,8:32,16:32,32:32,32:64,64:64 -r 3
matrices=("$out/matrix.csv" "$out/matrix-1e9.csv")
read -r -a floor_sizes < <(scripts/plot.sh --floor-sizes "${matrices[@]}")
"$build/bench/memory-floor" "${floor_sizes[@]}" | tee "$out/memory-floor.txt"
scripts/plot.sh --floor "$out/memory-floor.txt" "${matrices[@]}" "$out/plots"
