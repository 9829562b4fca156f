#!/usr/bin/env bash
# Prints the link graph of the project's own targets (libraries and programs, not the
# imported libraries of Debian packages), one "target -> dependency" edge a line, and fails
# when the graph has a cycle, or when a link or an #include runs back up the layers. The
# libraries are layered so that every edge points down, and each folder includes only the
# folders below it (its own files aside); folders of one floor do not include each other:
#   util  <-  core_btree, core_csbtree  <-  maps  <-  workload  <-  bench_maps
#         <-  bench_model  <-  bench_run  <-  bench_output, bench_options  <-  bench_modes
#         <-  the programs (bench/*.cpp, bench/micro)
# Usage: scripts/link-graph.sh [build-dir]   (build by default; configures it with cmake)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S . -B "$build" --graphviz="$work/graph.dot" >/dev/null

# The layers: floor, folder, the library built from it ("-" for none). A folder's files are
# those of its deepest entry here (bench/micro/ is bench's).
cat >"$work/layers" <<'LAYERS'
0 util util
1 core/btree core_btree
1 core/csbtree core_csbtree
2 maps maps
3 workload workload
4 bench/maps bench_maps
5 bench/model bench_model
6 bench/run bench_run
7 bench/output bench_output
7 bench/options bench_options
8 bench/modes bench_modes
9 bench -
LAYERS

# Node lines:  "node3" [ label = "core_btree", shape = octagon ];
# Edge lines:  "node3" -> "node4"  // core_btree -> util_base
# The project's targets are the executables (egg) and static libraries (octagon) whose names
# carry no namespace (imported targets are Name::Name). A test's edge to itself stands for its
# test-discovery step, not a link, and is left out.
awk '
  /^ *"node[0-9]+" \[ label = / {
    match($0, /label = "[^"]*"/); name = substr($0, RSTART + 9, RLENGTH - 10)
    if (name !~ /::/ && ($0 ~ /shape = egg/ || $0 ~ /shape = octagon/)) own[$1] = name
    next
  }
  /^ *"node[0-9]+" -> "node[0-9]+"/ {
    if (($1 in own) && ($3 in own) && $1 != $3) print own[$1], own[$3]
  }' "$work/graph.dot" | sort -u >"$work/edges"

awk '{ print $1 " -> " $2 }' "$work/edges"
# tsort names every cycle it finds on standard error and then fails.
if ! tsort "$work/edges" >/dev/null; then
  echo "link-graph: the project's targets link in a cycle" >&2
  exit 1
fi

failed=0
# Links: a layered library links only libraries of lower floors (targets not in the table,
# the programs and tests, stand above them all).
if ! awk '
  NR == FNR { if ($3 != "-") floor[$3] = $1; next }
  ($1 in floor) && ($2 in floor) && floor[$2] >= floor[$1] {
    print "link-graph: " $1 " (floor " floor[$1] ") links " $2 " (floor " floor[$2] \
          "), which is not below it" > "/dev/stderr"
    bad = 1
  }
  END { exit bad }' "$work/layers" "$work/edges"; then
  failed=1
fi

# Includes: every "folder/..." include of a source file in a layered folder names a file of its
# own folder or of a lower floor.
roots=$(awk '{ split($2, path, "/"); print path[1] }' "$work/layers" | sort -u)
# shellcheck disable=SC2086
if ! grep -rHn --include='*.h' --include='*.cpp' '^#include "' $roots | awk -v layers="$work/layers" '
  BEGIN { while ((getline line < layers) > 0) { split(line, f, " "); floor[f[2]] = f[1] } }
  # The deepest folder of the table that holds `path`, or "".
  function folderOf(path,    best, folder) {
    best = ""
    for (folder in floor)
      if (index(path, folder "/") == 1 && length(folder) > length(best)) best = folder
    return best
  }
  {
    split($0, parts, ":"); file = parts[1]
    match($0, /#include "[^"]*"/); included = substr($0, RSTART + 10, RLENGTH - 11)
    from = folderOf(file); to = folderOf(included)
    if (from == "" || to == "" || from == to) next
    if (floor[to] >= floor[from]) {
      print "link-graph: " file " (" from ", floor " floor[from] ") includes " included \
            " (" to ", floor " floor[to] "), which is not below it" > "/dev/stderr"
      bad = 1
    }
  }
  END { exit bad }'; then
  failed=1
fi
exit "$failed"
