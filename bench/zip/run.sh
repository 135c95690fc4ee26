#!/bin/sh
# Times the archiver against Info-ZIP's zip over generated trees and prints
# the ratios. Builds nothing: build the target bench_zip first.
# Usage: bench/zip/run.sh [build-dir] [--big]
#   --big also measures peak memory over a 500 MB tree and writes an archive
#   of more than 65,535 entries (a few minutes, ~1.5 GB of scratch space).
set -e
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib.sh"
bin=$(bench_bin "${1:-}" zip bench_zip)
zip_race_scratch
secs() { echo "$2 - $1" | bc -l; }

mkdir -p "$work/base"
python3 "$here/gen_tree.py" "$work/base/tree" 2000 50
echo "tree: $(find "$work/base/tree" -type f | wc -l) files, $(du -sm "$work/base/tree" | cut -f1) MB"

best_ours=999; best_zip=999
for i in 1 2 3; do
    rm -f "$work/ours.zip" "$work/zip.zip"
    t0=$(now); "$bin" "$work/base" tree "$work/ours.zip" >/dev/null; t1=$(now)
    (cd "$work/base" && zip -r -q -6 "$work/zip.zip" tree); t2=$(now)
    o=$(secs "$t0" "$t1"); z=$(secs "$t1" "$t2")
    best_ours=$(echo "if ($o < $best_ours) $o else $best_ours" | bc -l)
    best_zip=$(echo "if ($z < $best_zip) $z else $best_zip" | bc -l)
done
printf 'first run:  ours %.3f s, zip -r -q %.3f s, ratio %.3f (limit 1.1)\n' \
    "$best_ours" "$best_zip" "$(echo "$best_ours / $best_zip" | bc -l)"
printf 'sizes:      ours %d bytes, zip %d bytes\n' "$(stat -c %s "$work/ours.zip")" "$(stat -c %s "$work/zip.zip")"

cp "$work/ours.zip" "$work/before.zip"
t0=$(now); "$bin" "$work/base" tree "$work/ours.zip" >/dev/null; t1=$(now)
again=$(secs "$t0" "$t1")
same=different; cmp -s "$work/before.zip" "$work/ours.zip" && same=identical
printf 'second run: %.3f s, ratio to first %.3f (limit 0.3), archive bytes %s\n' \
    "$again" "$(echo "$again / $best_ours" | bc -l)" "$same"
unzip -t -q "$work/ours.zip" >/dev/null && echo "unzip -t: ok"

if [ "$2" = "--big" ]; then
    rm -rf "$work/base/tree" "$work"/*.zip
    python3 "$here/gen_tree.py" "$work/base/tree" 2000 500
    echo "big tree: $(du -sm "$work/base/tree" | cut -f1) MB"
    /usr/bin/time -v "$bin" "$work/base" tree "$work/big.zip" 2> "$work/time.txt" >/dev/null
    printf 'peak memory over the big tree: %d MB (limit 100)\n' \
        $(( $(grep 'Maximum resident' "$work/time.txt" | awk '{print $NF}') / 1024 ))
    rm -rf "$work/base/tree" "$work/big.zip"
    mkdir -p "$work/base/many"
    python3 -c "
import os, sys
for i in range(70000):
    d = os.path.join(sys.argv[1], 'g%03d' % (i // 1000))
    os.makedirs(d, exist_ok=True)
    open(os.path.join(d, 'f%05d.txt' % i), 'w').write(str(i))" "$work/base/many"
    "$bin" "$work/base" many "$work/many.zip"
    python3 -c "
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1]); n = len(z.infolist())
print('entries read back by zipfile:', n, '- testzip:', z.testzip() or 'ok')" "$work/many.zip"
    unzip -t -q "$work/many.zip" >/dev/null && echo "unzip -t on the 70,000-file archive: ok"
fi
