#!/bin/sh
# A whole pack build through the window against Info-ZIP's zip over the same
# folders, side by side, and the window's longest stretch without a repaint,
# while the folders are added and while the pack is built.
# Builds nothing: build the target bench_packbuild first.
# Usage: bench/packbuild/run.sh [build-dir]
set -e
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib.sh"
bin=$(bench_bin "${1:-}" packbuild bench_packbuild)
zip_race_scratch

python3 "$here/gen_pack.py" "$work/src" 2000 50
echo "script: $(find "$work/src" -type f | wc -l) files, $(find "$work/src" -mindepth 2 -type d | wc -l) sub-folders" \
     "in $(ls "$work/src" | wc -l) top-level folders, $(du -sm "$work/src" | cut -f1) MB"

best_ours=999; best_zip=999; worst_gap=0; worst_add_gap=0
for i in 1 2 3; do
    rm -f "$work/ours.plsc" "$work/zip.zip"
    out=$(QT_QPA_PLATFORM=offscreen "$bin" "$work/src" "$work/ours.plsc")
    add=$(echo "$out" | head -n 1); line=$(echo "$out" | tail -n 1)
    echo "  run $i: $add"
    echo "         $line"
    a=$(echo "$add" | sed 's/.*longest gap \([0-9.]*\) ms.*/\1/')
    worst_add_gap=$(echo "if ($a > $worst_add_gap) $a else $worst_add_gap" | bc -l)
    o=$(echo "$line" | sed 's/^build \([0-9.]*\) s.*/\1/')
    g=$(echo "$line" | sed 's/.*longest gap \([0-9.]*\) ms.*/\1/')
    t0=$(now); (cd "$work/src" && zip -r -q "$work/zip.zip" images lib scripts); t1=$(now)
    z=$(echo "$t1 - $t0" | bc -l)
    best_ours=$(echo "if ($o < $best_ours) $o else $best_ours" | bc -l)
    best_zip=$(echo "if ($z < $best_zip) $z else $best_zip" | bc -l)
    worst_gap=$(echo "if ($g > $worst_gap) $g else $worst_gap" | bc -l)
done
printf 'full build: ours %.3f s, zip -r -q %.3f s, ratio %.3f (limit 1.2)\n' \
    "$best_ours" "$best_zip" "$(echo "$best_ours / $best_zip" | bc -l)"
printf 'repaints:   longest gap over all runs %.1f ms while building, %.1f ms while adding (limit 50)\n' \
    "$worst_gap" "$worst_add_gap"
printf 'sizes:      ours %d bytes, zip %d bytes\n' "$(stat -c %s "$work/ours.plsc")" "$(stat -c %s "$work/zip.zip")"
unzip -tqq "$work/ours.plsc" && echo "unzip -t: ok"
