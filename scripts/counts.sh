#!/usr/bin/env bash
# Regenerates the count tables in results/ (or the directory given, relative to the current
# folder): instructions and simulated D1/LL data misses per operation (mapbench --count,
# valgrind's cache simulation)
# of the maps of MAPS at key spaces 10^6 and 10^7, each filled to a tenth, one operation
# type per file:
#   counts-lookup.*   point queries only (--workload read-only)
#   counts-insert.*   inserts only (--workload insert-only)
#   counts-scan.*     range queries only, ranges of 0 to 99 keys
# Each file has a table (.txt), a CSV and a JSON report that `mapbench compare` reads. The
# counts are the same on every run; only the time to get them depends on the machine: about
# 15 minutes on a shared 2-core machine.
# Usage: scripts/counts.sh [outdir]   (environment: BUILD=build MAPS=... OPS=200000)
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
ops=${OPS:-200000}
mkdir -p "$out"
source scripts/save.sh
# Writes NAME.json, NAME.csv and NAME.txt; each replaces an old one only once complete.
run() {
  local name=$1
  shift
  save "$out/$name.txt" "$build/bench/mapbench" --count -m "$maps" \
    --key-spaces 1000000,10000000 --ops "$ops" --no-progress --json "$out/$name.json" \
    --csv "$out/$name.csv" "$@"
}
run counts-lookup --workload read-only
run counts-insert --workload insert-only
run counts-scan --query-ratio 1 --range-ratio 1 --range-length 100
