#!/bin/sh
# The pack build against the zip tools and the machine's 2-core limit on the
# four kinds of script tree; with --repack, re-packing after one edited file.
# Builds nothing: build the targets bundlesmith and bench_limit (bench_floor
# for --repack) first.
# Usage: bench/race/run.sh [--quick] [--rounds N] [--trees abcd] [--other BIN]
#                          [--busy N] [--repack] [build-dir]
#   --quick scales trees c and d down by ten; --other races another build of
#   bundlesmith too, as "bundlesmith(2)"; --busy N keeps N CPU hogs spinning
#   through every round; --repack times the rebuild over the old pack against
#   a fresh build and zip -r -u instead of the race, beside the least any
#   rebuild must do (bench_floor).
set -e
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib.sh"
quick=; rounds=3; trees=abcd; other=; busy=0; repack=
while [ $# -gt 0 ]; do
    case "$1" in
        --quick) quick=--quick ;;
        --rounds) rounds=$2; shift ;;
        --trees) trees=$2; shift ;;
        --other) other="--other $2"; shift ;;
        --busy) busy=$2; shift ;;
        --repack) repack=1 ;;
        *) break ;;
    esac
    shift
done
build=${1:-$(cd "$here/../.." && pwd)/build/default}
bin="$build/src/bundlesmith"
[ -x "$bin" ] || { echo "$bin is missing: build the target bundlesmith" >&2; exit 1; }
[ -n "$repack" ] || limit=$(bench_bin "$build" race bench_limit)
[ -z "$repack" ] || floor=$(bench_bin "$build" race bench_floor)
zip_race_scratch
echo "$(nproc) CPUs; $rounds rounds${quick:+, quick}; busy $busy"
for t in $(echo "$trees" | sed 's/./& /g'); do
    python3 "$here/gen_trees.py" "$work/$t" "$t" $quick
    echo "== tree $t: $(find "$work/$t" -type f | wc -l) files, $(du -sm "$work/$t" | cut -f1) MB"
    mkdir -p "$work/out"
    if [ -n "$repack" ]; then
        QT_QPA_PLATFORM=offscreen python3 "$here/repack.py" "$bin" "$work/$t" "$work/out" "$rounds" --busy "$busy" \
            --floor "$floor" $other
        unzip -tqq "$work/out/rebuilt.plsc" >/dev/null && echo "unzip -t rebuilt: ok"
    else
        QT_QPA_PLATFORM=offscreen python3 "$here/race.py" "$bin" "$limit" "$work/$t" "$work/out" "$rounds" \
            --busy "$busy" $other
        unzip -tqq "$work/out/race0.plsc" >/dev/null && echo "unzip -t: ok"
    fi
    rm -rf "$work/$t" "$work/out"
done
