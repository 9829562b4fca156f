#!/usr/bin/env bash
# Regenerates the reference matrix in results/ (or the directory given): the maps of MAPS
# over the key distributions uniform, zipf and latest and the key spaces 10^7, 10^8 and
# 10^9, each filled to a tenth of its key space, then 10M measured operations of the
# default mix (the 10^7 cells are the default workload). The two smaller key spaces run
# REPETITIONS times (5 by default); 10^9, whose fills take minutes per map, runs once. Writes matrix.txt and matrix-1e9.txt (tables), the matching
# .csv and .json files (with the machine's context) and the SVG plots in plots/.
# About 55 minutes on 2 cores.
# Usage: scripts/matrix.sh [outdir]   (environment: BUILD=build REPETITIONS=5 MAPS=...)
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-results}
build=${BUILD:-build}
maps=${MAPS:-btree,csbtree,abslbtree,judy}
mkdir -p "$out/plots"
run() {
  local name=$1
  shift
  "$build/bench/mapbench" -m "$maps" --distribution uniform,zipf,latest --ops 10000000 \
    --no-progress --json "$out/$name.json" --csv "$out/$name.csv" "$@" | tee "$out/$name.txt"
}
run matrix --key-spaces 10000000,100000000 -r "${REPETITIONS:-5}"
run matrix-1e9 --key-spaces 1000000000 -r 1
scripts/plot.sh "$out/matrix.csv" "$out/matrix-1e9.csv" "$out/plots"
