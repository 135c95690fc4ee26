#!/bin/sh
# Deflates tree c's files (bench/race/gen_trees.py) as one stream on one
# thread and in pieces on the worker threads, first as the machine is, then
# again while `yes` keeps one core busy. Builds nothing: build the target
# bench_deflate first.
# Usage: bench/deflate/run.sh [build-dir] [--quick] [bench_deflate options...]
#   --quick: 20 MB files instead of 200 MB.
set -e
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib.sh"
bin=$(bench_bin "${1:-}" deflate bench_deflate)
[ $# -gt 0 ] && shift
quick=
if [ "${1:-}" = "--quick" ]; then quick=--quick; shift; fi
work=$(mktemp -d)
hog=
trap 'rm -rf "$work"; [ -z "$hog" ] || kill "$hog"' EXIT
python3 "$here/../race/gen_trees.py" "$work" c $quick
files="$work/big0.txt $work/data/random.bin"

echo "== as the machine is"
"$bin" "$@" $files
echo
echo "== while yes >/dev/null keeps one core busy"
yes >/dev/null &
hog=$!
"$bin" "$@" $files
