#!/usr/bin/env bash
# Turns a mapbench CSV (mapbench ... --csv results.csv) into SVG plots with gnuplot:
#   <outdir>/ns_per_op_<distribution>.svg  time per measured operation against key-space
#                                          size, one line per map (and k/k_star pair)
#   <outdir>/p50_<distribution>.svg        sampled p50 latency of each operation type against
#                                          key-space size, one line per map; with --floor, the
#                                          point-query panel also shows the memory floor
#   <outdir>/grid_<tree>.svg               median time over the (k, k_star) grid of each tree,
#                                          at the largest key space of the file
#   <outdir>/key_sets.svg                  ns per operation and bytes per entry of each map
#                                          on each key set (rows of mapbench --keys), as bars
# Both axes of the size plots are logarithmic. A plot is written only when the file has data
# for it (several key spaces; several pairs of a tree), so sweeps can share one directory.
# Columns are found by their names in the header line.
#
# The memory floor is the cost of one dependent random load over the working set of each key
# space, as build/bench/memory-floor measures it: the working set is the key space's entries
# (the largest expected size of its rows) at 8 bytes each, a key and a value, the least that
# any map can hold them in, in whole MiB rounded up. --floor-sizes prints those sizes, for
# memory-floor's command line; --floor FILE reads memory-floor's output from FILE.
#
# Usage: scripts/plot.sh [--floor FILE] results.csv [more.csv ...] [outdir]   (outdir: plots)
#        scripts/plot.sh --floor-sizes results.csv [more.csv ...]
set -euo pipefail

usage="usage: scripts/plot.sh [--floor FILE | --floor-sizes] results.csv [more.csv ...] [outdir]"
csvs=()
out=plots
floor=""
floor_sizes=false
while [ $# -gt 0 ]; do
  case $1 in
    --floor)
      [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
      floor=$2
      shift
      ;;
    --floor-sizes) floor_sizes=true ;;
    *.csv) csvs+=("$1") ;;
    *) out=$1 ;;
  esac
  shift
done
[ ${#csvs[@]} -gt 0 ] || { echo "$usage" >&2; exit 2; }
if [ -n "$floor" ] && [ ! -r "$floor" ]; then
  echo "cannot read the memory floor file $floor" >&2
  exit 2
fi
work=$(mktemp -d)
trap 'rm -rf "$work"; rm -f "$out"/.*.svg.partial-$$' EXIT

# Every plot is drawn in $work and then moved into $out by a rename within $out, so that a
# failed or interrupted run never leaves a half-written plot where a whole one was.
publish() {
  cp -- "$work/$1" "$out/.$1.partial-$$"
  mv -f -- "$out/.$1.partial-$$" "$out/$1"
  echo "$out/$1"
}

# The data lines as "map<TAB>pair<TAB>distribution<TAB>key_space<TAB>median_s<TAB>ns_per_op
# <TAB>insert p50<TAB>erase p50<TAB>point p50<TAB>range p50<TAB>key_set<TAB>bytes_per_entry
# <TAB>expected_size"; pair is k/k_star or "-", key_set the --keys file or "-". Rows over a
# key set go to key_set_rows, the others to rows (scripts/csv.awk reads the fields).
for csv in "${csvs[@]}"; do grep -v '^#' "$csv" || [ $? -eq 1 ]; done |
  awk -v OFS='\t' -f "$(dirname "$0")/csv.awk" -f <(cat <<'AWK'
  { n = split_csv($0) }
  /^map,/ { read_header(n); next }
  {
    pair = field("k") == "" ? "-" : field("k") "/" field("k_star")
    distribution = field("distribution") == "" ? "uniform" : field("distribution")
    print field("map"), pair, distribution, field("key_space"), field("median_s"),
          field("ns_per_op"), field("insert_p50_ns"), field("erase_p50_ns"),
          field("point_p50_ns"), field("range_p50_ns"),
          field("key_set") == "" ? "-" : field("key_set"), field("bytes_per_entry"),
          field("expected_size")
  }
AWK
) >"$work/all_rows"
if [ ! -s "$work/all_rows" ]; then
  echo "scripts/plot.sh: no result rows in ${csvs[*]} (empty, or a header alone): nothing to plot" >&2
  exit 1
fi
awk -F'\t' '$11 == "-"' "$work/all_rows" >"$work/rows"
awk -F'\t' '$11 != "-"' "$work/all_rows" >"$work/key_set_rows"

# "key_space<TAB>MiB": the working set of each key space (see above).
awk -F'\t' '$13 > entries[$4] { entries[$4] = $13 }
  END { for (k in entries) { mib = int((entries[k] * 8 + 1048575) / 1048576)
                             print k "\t" (mib < 1 ? 1 : mib) } }' "$work/rows" |
  sort -n >"$work/working_sets"
if $floor_sizes; then
  cut -f2 "$work/working_sets" | sort -nu | tr '\n' ' ' | sed 's/ $/\n/'
  exit 0
fi
command -v gnuplot >/dev/null || { echo "gnuplot is missing (Debian package gnuplot-nox)" >&2; exit 1; }
mkdir -p "$out"

# "key_space ns": the floor at each key space's working set, from memory-floor's lines
# "   64 MiB    174.0"; a key space whose size the file lacks is named and left out.
floor_plot=""
if [ -n "$floor" ]; then
  awk 'NR == FNR { if ($2 == "MiB") ns[$1] = $3; next }
       ($2 in ns) { print $1, ns[$2]; next }
       { print "memory floor: no figure for " $2 " MiB (key space " $1 ") in the file" > "/dev/stderr" }' \
    "$floor" "$work/working_sets" >"$work/floor.dat"
  if [ -s "$work/floor.dat" ]; then
    floor_plot=", '$work/floor.dat' using 1:2 with lines dashtype 2 lw 2 lc rgb 'black' title 'memory floor'"
  fi
fi

series_name() { if [ "$2" = "-" ]; then echo "$1"; else echo "$1 $2"; fi; }

# Writes one data file per series of a distribution: key space and column `value` (1-based
# in the rows above); prints gnuplot plot clauses for them.
series_plots() {
  local distribution=$1 value=$2 prefix=$3 plots=""
  while IFS=$'\t' read -r map pair; do
    local file="$work/${prefix}_${distribution}_${map}_${pair//\//_}.dat"
    awk -F'\t' -v m="$map" -v p="$pair" -v d="$distribution" -v c="$value" \
      '$1 == m && $2 == p && $3 == d && $c > 0 { print $4, $c }' "$work/rows" | sort -n >"$file"
    [ -s "$file" ] || continue
    plots="$plots${plots:+, }'$file' using 1:2 with linespoints title '$(series_name "$map" "$pair")'"
  done < <(awk -F'\t' -v d="$distribution" '$3 == d { print $1 "\t" $2 }' "$work/rows" | sort -u)
  echo "$plots"
}

for distribution in $(cut -f3 "$work/rows" | sort -u); do
  spaces=$(awk -F'\t' -v d="$distribution" '$3 == d { print $4 }' "$work/rows" | sort -u | wc -l)
  if [ "$spaces" -lt 2 ]; then
    echo "$distribution: one key space only: no size plots"
    continue
  fi
  gnuplot <<GNUPLOT
set terminal svg size 900,600 dynamic background rgb 'white'
set output '$work/ns_per_op_$distribution.svg'
set title 'Time per measured operation, $distribution keys (no-op map subtracted)'
set xlabel 'key-space size (a tenth of it filled)'
set ylabel 'ns per operation'
set logscale xy
set key left top
set grid
plot $(series_plots "$distribution" 6 ns)
GNUPLOT
  publish "ns_per_op_$distribution.svg"

  panels=""
  column=7
  for type in insert erase point range; do
    extra=""
    [ "$type" = point ] && extra=$floor_plot
    panels="${panels}set title '$type'
plot $(series_plots "$distribution" $column "p50_$type")$extra
"
    column=$((column + 1))
  done
  gnuplot <<GNUPLOT
set terminal svg size 1200,900 dynamic background rgb 'white'
set output '$work/p50_$distribution.svg'
set multiplot layout 2,2 title 'Sampled p50 latency by operation type, $distribution keys'
set xlabel 'key-space size'
set ylabel 'p50 ns'
set logscale xy
set key left top
set grid
$panels
unset multiplot
GNUPLOT
  publish "p50_$distribution.svg"
done

# The (k, k_star) grid of each tree at the largest key space.
largest=$(awk -F'\t' '$2 != "-" && $4 > max { max = $4 } END { print max + 0 }' "$work/rows")
for tree in $(awk -F'\t' '$2 != "-" { print $1 }' "$work/rows" | sort -u); do
  pairs=$(awk -F'\t' -v t="$tree" -v ks="$largest" '$1 == t && $4 == ks { print $2 }' \
    "$work/rows" | sort -u | wc -l)
  if [ "$pairs" -lt 2 ]; then
    echo "$tree: one (k, k_star) pair only: no grid plot"
    continue
  fi
  awk -F'\t' -v t="$tree" -v ks="$largest" -v dir="$work" \
    '$1 == t && $4 == ks { split($2, p, "/"); print p[2], $5 >> (dir "/grid_" t "_k" p[1] ".dat") }' \
    "$work/rows"
  plots=""
  for file in $(ls "$work"/grid_"$tree"_k*.dat | sort -t k -k2 -n); do
    sort -n -o "$file" "$file"
    k=${file##*_k}; k=${k%.dat}
    plots="$plots${plots:+, }'$file' using 1:2 with linespoints title 'k = $k'"
  done
  gnuplot <<GNUPLOT
set terminal svg size 900,600 dynamic background rgb 'white'
set output '$work/grid_$tree.svg'
set title '$tree: median total time over (k, k\_star), key space $largest'
set xlabel 'k\_star'
set ylabel 'seconds (no-op map subtracted)'
set logscale x 2
set key right top
set grid
plot $plots
GNUPLOT
  publish "grid_$tree.svg"
done

# Each map on each key set: a cluster of bars per set, one bar per map (and pair).
if [ -s "$work/key_set_rows" ]; then
  series=$(awk -F'\t' '{ print ($2 == "-" ? $1 : $1 " " $2) }' "$work/key_set_rows" | awk '!seen[$0]++')
  table() {  # column $1 of the rows as a table: key set, then one column per series
    awk -F'\t' -v c="$1" -v list="$series" '
      BEGIN { n = split(list, names, "\n") }
      { s = ($2 == "-" ? $1 : $1 " " $2); k = $11; gsub(/"/, "\047", k)  # gnuplot reads " as a quote
        value[k, s] = $c; if (!(k in seen)) { seen[k]; order[++sets] = k } }
      END { for (i = 1; i <= sets; i++) { line = order[i]; for (j = 1; j <= n; j++) line = line "\t" ((order[i], names[j]) in value ? value[order[i], names[j]] : "NaN"); print line } }' \
      "$work/key_set_rows"
  }
  table 6 >"$work/key_sets_ns.dat"
  table 12 >"$work/key_sets_bytes.dat"
  bars() {
    local file=$1 plots="" column=2
    while IFS= read -r name; do
      plots="$plots${plots:+, }'$file' using $column:xtic(1) title '$name'"
      column=$((column + 1))
    done <<<"$series"
    echo "$plots"
  }
  gnuplot <<GNUPLOT
set terminal svg size 1100,900 dynamic background rgb 'white'
set termoption noenhanced
set output '$work/key_sets.svg'
set datafile separator '\t'
set style data histograms
set style histogram clustered gap 1
set style fill solid border -1
set key outside right top
set grid ytics
set yrange [0:*]
set multiplot layout 2,1 title 'Each map on each key set (mapbench --keys)'
set title 'Time per measured operation (no-op map subtracted)'
set ylabel 'ns per operation'
plot $(bars "$work/key_sets_ns.dat")
set title 'Bytes allocated per entry at the end'
set ylabel 'bytes per entry'
plot $(bars "$work/key_sets_bytes.dat")
unset multiplot
GNUPLOT
  publish "key_sets.svg"
fi
