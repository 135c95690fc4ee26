#!/bin/sh
# The pack build against the zip tools on the four kinds of script tree.
# Builds nothing: build the target bundlesmith first.
# Usage: bench/race/run.sh [--quick] [--rounds N] [--trees abcd] [--other BIN] [build-dir]
#   --quick scales trees c and d down by ten; --other races another build of
#   bundlesmith too, as "bundlesmith(2)".
set -e
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib.sh"
quick=; rounds=3; trees=abcd; other=
while [ $# -gt 0 ]; do
    case "$1" in
        --quick) quick=--quick ;;
        --rounds) rounds=$2; shift ;;
        --trees) trees=$2; shift ;;
        --other) other=$2; shift ;;
        *) break ;;
    esac
    shift
done
build=${1:-$(cd "$here/../.." && pwd)/build/default}
bin="$build/src/bundlesmith"
[ -x "$bin" ] || { echo "$bin is missing: build the target bundlesmith" >&2; exit 1; }
zip_race_scratch
for t in $(echo "$trees" | sed 's/./& /g'); do
    python3 "$here/gen_trees.py" "$work/$t" "$t" $quick
    echo "== tree $t: $(find "$work/$t" -type f | wc -l) files, $(du -sm "$work/$t" | cut -f1) MB"
    mkdir -p "$work/out"
    QT_QPA_PLATFORM=offscreen python3 "$here/race.py" "$bin" "$work/$t" "$work/out" "$rounds" $other
    unzip -tqq "$work/out/race0.plsc" >/dev/null && echo "unzip -t: ok"
    rm -rf "$work/$t" "$work/out"
done
