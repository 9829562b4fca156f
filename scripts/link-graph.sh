#!/usr/bin/env bash
# Prints the link graph of the project's own targets (libraries and programs, not the
# imported libraries of Debian packages), one "target -> dependency" edge a line, and fails
# when the graph has a cycle. The libraries are layered so that every edge points down:
#   util  <-  core_btree, core_csbtree  <-  maps  <-  workload  <-  bench
# Usage: scripts/link-graph.sh [build-dir]   (build by default; configures it with cmake)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S . -B "$build" --graphviz="$work/graph.dot" >/dev/null

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
