#!/usr/bin/env bash
# The whole matrix at a glance: every map's median time as a multiple of abslbtree's in the
# same cell (workload preset, hit ratio, key distribution, key space) of mapbench CSV files.
#   <outdir>/heatmap.svg   one row per cell, one column per map (abslbtree, 1 by definition,
#                          left out), coloured on a log scale from green (4 x faster than
#                          absl) through white (as fast) to red (4 x slower), the ratio
#                          written in every square; the cells in the files' order
#   --table                prints the same ratios as a Markdown table instead, our trees'
#                          worst cells first: ordered by the faster tree's time over the
#                          fastest peer's (absl and every other map that is not ours)
# Every ratio is taken within one file, against that file's abslbtree time in the cell; where
# several files hold a map in a cell, the first one's ratio is shown. Rows over a key set
# (mapbench --keys) are left out; a cell without an abslbtree row is named on standard error
# and left out. Columns are found by their names in the header line;
# a file without a workload column (written before it existed) holds the default preset.
# Usage: scripts/heatmap.sh [--table] results.csv [more.csv ...] [outdir]   (outdir: plots)
set -euo pipefail

usage="usage: scripts/heatmap.sh [--table] results.csv [more.csv ...] [outdir]"
csvs=()
out=plots
table=false
while [ $# -gt 0 ]; do
  case $1 in
    --table) table=true ;;
    *.csv) csvs+=("$1") ;;
    *) out=$1 ;;
  esac
  shift
done
[ ${#csvs[@]} -gt 0 ] || { echo "$usage" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"; rm -f "$out"/.heatmap.svg.partial-$$' EXIT

# "cell<TAB>map<TAB>ratio<TAB>workload<TAB>distribution<TAB>key space" in the files' order
# of cells and maps; the cell is "workload[, hit R], distribution, 10^N".
for csv in "${csvs[@]}"; do grep -v '^#' "$csv" || [ $? -eq 1 ]; done |
  awk -v OFS='\t' -f "$(dirname "$0")/csv.awk" -f <(cat <<'AWK'
  function power(n,    e, m) {
    for (m = n; m >= 10 && m % 10 == 0; e++) m /= 10
    return m == 1 ? "10^" e + 0 : n
  }
  { n = split_csv($0) }
  /^map,/ { read_header(n); file++; next }
  field("key_set") == "" {
    workload = field("workload") == "" ? "default" : field("workload")
    if (field("hit_ratio") != "") workload = workload ", hit " field("hit_ratio")
    distribution = field("distribution") == "" ? "uniform" : field("distribution")
    cell = workload ", " distribution ", " power(field("key_space"))
    if (!(cell in seen)) { seen[cell] = 1; cells[++ncells] = cell
                           what[cell] = workload OFS distribution OFS power(field("key_space")) }
    if (!((file, cell, field("map")) in median)) {
      median[file, cell, field("map")] = field("median_s")
      if (!(field("map") in known)) { known[field("map")] = 1; maps[++nmaps] = field("map") }
    }
  }
  END {
    # Each ratio is taken within one file (one run); a map's first file with the cell wins.
    for (c = 1; c <= ncells; c++) {
      cell = cells[c]
      shown = 0
      split("", done)
      for (f = 1; f <= file; f++) {
        if (!((f, cell, "abslbtree") in median) || median[f, cell, "abslbtree"] <= 0) continue
        for (m = 1; m <= nmaps; m++)
          if ((f, cell, maps[m]) in median && !(maps[m] in done)) {
            done[maps[m]] = 1
            shown = 1
            print cell, maps[m], median[f, cell, maps[m]] / median[f, cell, "abslbtree"], what[cell]
          }
      }
      if (!shown)
        print "scripts/heatmap.sh: no abslbtree time in the cell " cell ": left out" > "/dev/stderr"
    }
  }
AWK
) >"$work/ratios"
if [ ! -s "$work/ratios" ]; then
  echo "scripts/heatmap.sh: no cell with an abslbtree row in ${csvs[*]}: nothing to show" >&2
  exit 1
fi

# The maps in the files' order, absl left out (our trees first where the files have them).
mapfile -t maps < <(awk -F'\t' '$2 != "abslbtree" && !seen[$2]++ { print $2 }' "$work/ratios" |
  awk '$1 == "csbtree" || $1 == "btree" { print 0, NR, $1; next } { print 1, NR, $1 }' |
  sort -k1,1n -k2,2n | cut -d' ' -f3)

if $table; then
  header="| workload | keys | key space |"
  rule="|---|---|---|"
  for map in "${maps[@]}"; do
    header="$header \`$map\` |"
    rule="$rule---|"
  done
  echo "$header"
  echo "$rule"
  awk -F'\t' -v list="${maps[*]}" '
    BEGIN { nmaps = split(list, maps, " ") }
    !seen[$1]++ { cells[++ncells] = $1; what[$1] = $4 " | " $5 " | " $6 }
    { ratio[$1, $2] = $3 }
    END {
      for (c = 1; c <= ncells; c++) {
        cell = cells[c]; ours = ""; peer = 1
        for (m = 1; m <= nmaps; m++) {
          if (!((cell, maps[m]) in ratio)) continue
          r = ratio[cell, maps[m]]
          if (maps[m] == "btree" || maps[m] == "csbtree") { if (ours == "" || r < ours) ours = r }
          else if (r < peer) peer = r
        }
        line = "| " what[cell] " |"
        for (m = 1; m <= nmaps; m++)
          line = line (((cell, maps[m]) in ratio) ? sprintf(" %.2f |", ratio[cell, maps[m]]) : " - |")
        printf "%.6f\t%06d\t%s\n", ours == "" ? 0 : ours / peer, c, line
      }
    }' "$work/ratios" | sort -t$'\t' -k1,1gr -k2,2n | cut -f3
  exit 0
fi

command -v gnuplot >/dev/null || { echo "gnuplot is missing (Debian package gnuplot-nox)" >&2; exit 1; }
mkdir -p "$out"
# "column<TAB>row<TAB>log2 ratio (clamped to -2 .. 2)<TAB>ratio<TAB>cell", rows from the top.
awk -F'\t' -v OFS='\t' -v list="${maps[*]}" '
  BEGIN { nmaps = split(list, maps, " "); for (m = 1; m <= nmaps; m++) column[maps[m]] = m }
  ($2 in column) {
    if (!($1 in row)) row[$1] = ++nrows
    l = log($3) / log(2); if (l > 2) l = 2; if (l < -2) l = -2
    print column[$2], -row[$1], l, sprintf("%.2f", $3), $1
  }' "$work/ratios" >"$work/heatmap.dat"
rows=$(cut -f5 "$work/heatmap.dat" | awk '!seen[$0]++' | wc -l)
xtics=""
for i in "${!maps[@]}"; do xtics="$xtics${xtics:+, }\"${maps[$i]}\" $((i + 1))"; done
ytics=$(awk -F'\t' '!seen[$5]++ { printf "%s\"%s\" %d", (n++ ? ", " : ""), $5, $2 }' \
  "$work/heatmap.dat")
gnuplot <<EOF
set terminal svg size $((300 + 110 * ${#maps[@]})),$((120 + 22 * rows)) dynamic font "sans,11"
set output "$work/heatmap.svg"
set datafile separator "\t"
set title "Median time / abslbtree's, per cell (below 1 is faster)"
set xrange [0.5:${#maps[@]}.5]
set yrange [-$rows.5:-0.5]
set x2tics ($xtics) scale 0
unset xtics
set ytics ($ytics) scale 0 noenhanced
set cbrange [-2:2]
set cbtics ("1/4" -2, "1/2" -1, "1" 0, "2" 1, "4" 2)
set palette defined (-2 "#1a9850", -1 "#a6d96a", 0 "#ffffff", 1 "#fdae61", 2 "#d73027")
set style fill solid 1.0 noborder
set lmargin 34
unset key
plot "$work/heatmap.dat" using 1:2:(0.5):(0.5):3 with boxxyerror fillcolor palette, \
     "" using 1:2:4 with labels font "sans,10"
EOF
cp -- "$work/heatmap.svg" "$out/.heatmap.svg.partial-$$"
mv -f -- "$out/.heatmap.svg.partial-$$" "$out/heatmap.svg"
echo "$out/heatmap.svg"
