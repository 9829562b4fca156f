#!/usr/bin/env bash
# Turns a mapbench CSV (mapbench ... --csv results.csv) into SVG plots with gnuplot:
#   <outdir>/ns_per_op_by_key_space.svg  time per operation against key-space size, one line
#                                        per map (and per k/k_star for the trees)
#   <outdir>/grid_<tree>.svg             median time over the (k, k_star) grid of each tree,
#                                        at the largest key space of the file
# A plot is written only when the file has data for it (several key spaces; several pairs
# of a tree), so a size sweep and a grid sweep can share one output directory.
# Usage: scripts/plot.sh results.csv [outdir]
set -euo pipefail

csv=${1:?usage: scripts/plot.sh results.csv [outdir]}
out=${2:-plots}
command -v gnuplot >/dev/null || { echo "gnuplot is missing (Debian package gnuplot-nox)" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Columns: 1 map, 2 k, 3 k_star, 4 key_space, 8 median_s, 11 ns_per_op.
data() { grep -v '^#' "$csv" | tail -n +2; }

# One data file per series for the size plot.
if [ "$(data | cut -d, -f4 | sort -u | wc -l)" -lt 2 ]; then
  echo "one key space only: no size plot"
else
data | awk -F, -v dir="$work" '{
  series = ($2 == "") ? $1 : $1 "_k" $2 "_" $3
  file = dir "/size_" series ".dat"
  print $4, $11 >> file
  seen[series] = file
} END { for (s in seen) print s "\t" seen[s] > (dir "/series") }'

plots=""
while IFS=$'\t' read -r series file; do
  sort -n -o "$file" "$file"
  plots="$plots${plots:+, }'$file' using 1:2 with linespoints title '${series//_/ }'"
done < <(sort "$work/series")
gnuplot <<GNUPLOT
set terminal svg size 900,600 dynamic background rgb 'white'
set output '$out/ns_per_op_by_key_space.svg'
set title 'Time per measured operation (no-op map subtracted)'
set xlabel 'key-space size'
set ylabel 'ns per operation'
set logscale x
set key left top
set grid
plot $plots
GNUPLOT
echo "$out/ns_per_op_by_key_space.svg"
fi

# The (k, k_star) grid of each tree at the largest key space.
largest=$(data | awk -F, '$2 != "" && $4 > max { max = $4 } END { print max + 0 }')
for tree in $(data | awk -F, '$2 != "" { print $1 }' | sort -u); do
  pairs=$(data | awk -F, -v t="$tree" -v ks="$largest" '$1 == t && $4 == ks { print $2, $3 }' | sort -u | wc -l)
  if [ "$pairs" -lt 2 ]; then
    echo "$tree: one (k, k_star) pair only: no grid plot"
    continue
  fi
  data | awk -F, -v t="$tree" -v ks="$largest" -v dir="$work" \
    '$1 == t && $4 == ks { print $3, $8 >> (dir "/grid_" t "_k" $2 ".dat") }'
  plots=""
  for file in $(ls "$work"/grid_"$tree"_k*.dat | sort -t k -k2 -n); do
    sort -n -o "$file" "$file"
    k=${file##*_k}; k=${k%.dat}
    plots="$plots${plots:+, }'$file' using 1:2 with linespoints title 'k = $k'"
  done
  gnuplot <<GNUPLOT
set terminal svg size 900,600 dynamic background rgb 'white'
set output '$out/grid_$tree.svg'
set title '$tree: median total time over (k, k\_star), key space $largest'
set xlabel 'k\_star'
set ylabel 'seconds (no-op map subtracted)'
set logscale x 2
set key right top
set grid
plot $plots
GNUPLOT
  echo "$out/grid_$tree.svg"
done
