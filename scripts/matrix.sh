#!/usr/bin/env bash
# Regenerates the reference results in results/ (or the directory given, relative to the
# current folder):
#   matrix.*             the default workload: the maps of MAPS over the key distributions
#                        uniform, zipf and latest and the key spaces 10^7 and 10^8, 10M
#                        operations, REPETITIONS runs each (5 by default)
#   presets.*            every other preset (read-only, read-mostly, scan-heavy, write-heavy,
#                        insert-only) over the same distributions and key spaces, 2M
#                        operations, PRESET_REPETITIONS runs each (3 by default)
#   presets-hit.*        read-only with --hit-ratio 1 (every point query finds its key), the
#                        same cells and runs
#   presets-skiplist.*   the presets without deletes (read-only, read-mostly, scan-heavy,
#                        insert-only) at 10^7 with the trees, abslbtree and tbbskiplist, whose
#                        erase walks its list from the head (an erase takes milliseconds)
#   matrix-1e9.*         the default and read-only workloads at key space 10^9, 10M
#                        operations, one run (their fills take minutes per map)
#   summary.md           the ratios of all four files to abslbtree as a Markdown table, our
#                        trees' worst cells first, and plots/heatmap.svg, the same as a heat
#                        map (scripts/heatmap.sh)
#   huge-pages.*         btree, csbtree and abslbtree at 10^7 (all three distributions) with
#                        every map on transparent huge pages (mapbench --huge-pages)
#   huge-pages-1e8.*     the maps of MAPS at 10^8, uniform keys, on huge pages, and right after
#   small-pages-1e8.*    the same on 4 KiB pages
#   huge-pages-1e9.*     the same at 10^9, one run each (as the matrix's 10^9 cells)
#   small-pages-1e9.*
#   pages-floor.txt      build/bench/memory-floor at the working sets of 10^7, 10^8 and 10^9
#                        keys, on 4 KiB pages and on huge pages
#   best-pairs.*         the default workload with both trees at several (k, k_star) pairs
#   memory-floor.txt     build/bench/memory-floor at the working set of each key space of the
#                        matrix (scripts/plot.sh --floor-sizes), the floor line of the p50 plots
#   key-sets-<shape>.*   the maps of MAPS over synthetic key sets of 10M keys (make-keys,
#                        seed 42; the shapes of KEY_SETS), REPETITIONS runs each
# Every key space is filled to a tenth, then 10M operations of the default mix run; so the
# 10^7 cells are the default workload. Each name has a table (.txt), a CSV and a JSON file
# with the machine's context; the plots of matrix.csv and matrix-1e9.csv, and of the key
# sets (key_sets.svg), go to plots/. The key sets themselves are written to KEYS_DIR.
# The parts matrix, presets and matrix-1e9 take about two hours on 2 cores, the others as
# long again (huge-pages alone about 40 minutes); PARTS picks some of the parts only (the
# summary is redrawn from the files there whenever one of the three runs); an unknown part is
# refused.
# Usage: scripts/matrix.sh [outdir]   (environment: BUILD=build REPETITIONS=5
#        PRESET_REPETITIONS=3 MAPS=...
#        PARTS="matrix presets matrix-1e9 huge-pages best-pairs key-sets"
#        KEY_SETS="lognormal clustered sparse dense" KEYS_DIR=$BUILD/keys)
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."

# A folder given is the caller's; the default is the repository's results/.
out=${1:-results}
if [ $# -ge 1 ] && [[ $out != /* ]]; then
  out=$caller/$out
fi
build=${BUILD:-build}
maps=${MAPS:-btree,csbtree,abslbtree,judy}
repetitions=${REPETITIONS:-5}
preset_repetitions=${PRESET_REPETITIONS:-3}
known_parts="matrix presets matrix-1e9 huge-pages best-pairs key-sets"
parts=" ${PARTS:-$known_parts} "
for name in $parts; do
  if [[ " $known_parts " != *" $name "* ]]; then
    echo "matrix.sh: unknown part '$name' in PARTS (the parts: $known_parts)" >&2
    exit 2
  fi
done
key_sets=${KEY_SETS:-lognormal clustered sparse dense}
keys_dir=${KEYS_DIR:-$build/keys}
mkdir -p "$out/plots"
source scripts/save.sh
# Writes NAME.json, NAME.csv and NAME.txt; each replaces an old one only once complete, so
# that a run that fails leaves the old results whole. OPS (10M unless set) operations a run.
run() {
  local name=$1
  shift
  save "$out/$name.txt" "$build/bench/mapbench" --ops "${OPS:-10000000}" --no-progress \
    --json "$out/$name.json" --csv "$out/$name.csv" "$@"
}
part() { [[ $parts == *" $1 "* ]]; }
distributions=(--distribution uniform,zipf,latest)
trees=(-m btree,csbtree,abslbtree)
if part matrix; then
  run matrix -m "$maps" "${distributions[@]}" --key-spaces 10000000,100000000 -r "$repetitions"
fi
presets=(--workload read-only,read-mostly,scan-heavy,write-heavy,insert-only)
if part presets; then
  OPS=2000000 run presets -m "$maps" "${presets[@]}" "${distributions[@]}" \
    --key-spaces 10000000,100000000 -r "$preset_repetitions"
  OPS=2000000 run presets-hit -m "$maps" --workload read-only --hit-ratio 1 "${distributions[@]}" \
    --key-spaces 10000000,100000000 -r "$preset_repetitions"
  OPS=2000000 run presets-skiplist -m btree,csbtree,abslbtree,tbbskiplist \
    --workload read-only,read-mostly,scan-heavy,insert-only "${distributions[@]}" \
    -r "$preset_repetitions"
fi
if part matrix-1e9; then
  run matrix-1e9 -m "$maps" --workload default,read-only "${distributions[@]}" \
    --key-spaces 1000000000 -r 1
fi
if part matrix || part presets || part matrix-1e9; then
  summary=()
  for name in matrix presets presets-hit presets-skiplist matrix-1e9; do
    [ -s "$out/$name.csv" ] && summary+=("$out/$name.csv")
  done
  scripts/heatmap.sh "${summary[@]}" "$out/plots"
  save "$out/summary.md" scripts/heatmap.sh --table "${summary[@]}"
fi
if part huge-pages; then
  run huge-pages "${trees[@]}" --huge-pages "${distributions[@]}" --key-spaces 10000000 \
    -r "$repetitions"
  # Both page sizes one after the other, so that the two tables differ by the pages alone.
  run huge-pages-1e8 -m "$maps" --huge-pages --key-spaces 100000000 -r "$repetitions"
  run small-pages-1e8 -m "$maps" --key-spaces 100000000 -r "$repetitions"
  run huge-pages-1e9 -m "$maps" --huge-pages --key-spaces 1000000000 -r 1
  run small-pages-1e9 -m "$maps" --key-spaces 1000000000 -r 1
  # The working sets of the matrix's memory-floor.txt: 8 bytes per entry at the end of a run.
  floors() {
    "$build/bench/memory-floor" 18 87 774 && "$build/bench/memory-floor" --huge-pages 18 87 774
  }
  save "$out/pages-floor.txt" floors
fi
if part best-pairs; then
  run best-pairs "${trees[@]}" --k-pairs 16:16,8:32,16:32,32:32,32:64,64:64 -r 3
fi
if part matrix || part matrix-1e9; then
  matrices=("$out/matrix.csv" "$out/matrix-1e9.csv")
  read -r -a floor_sizes < <(scripts/plot.sh --floor-sizes "${matrices[@]}")
  save "$out/memory-floor.txt" "$build/bench/memory-floor" "${floor_sizes[@]}"
  scripts/plot.sh --floor "$out/memory-floor.txt" "${matrices[@]}" "$out/plots"
fi
if part key-sets; then
  mkdir -p "$keys_dir"
  csvs=()
  for shape in $key_sets; do
    keys="$keys_dir/${shape}_10M_uint32"
    [ -s "$keys" ] || "$build/bench/make-keys" "$shape" 10000000 "$keys" --seed 42
    run "key-sets-$shape" -m "$maps" --keys "$keys" --fill 1000000 -r "$repetitions"
    csvs+=("$out/key-sets-$shape.csv")
  done
  scripts/plot.sh "${csvs[@]}" "$out/plots"
fi
