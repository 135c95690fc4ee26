#!/bin/sh
# Runs the progress bar benchmark from an existing build and, with --sheet,
# renders docs/progressbar-sheet.png. Builds nothing itself.
# Usage: bench/progressbar/run.sh [build-dir] [--sheet]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build/default}
bin="$build/bench/progressbar"
[ -x "$bin/bench_progressbar" ] || { echo "build the target bench_progressbar in $build first" >&2; exit 1; }
QT_QPA_PLATFORM=offscreen "$bin/bench_progressbar" 20000
if [ "$2" = "--sheet" ]; then
    "$bin/progressbar_sheet" "$here/../../docs/progressbar-sheet.png"
    echo "wrote docs/progressbar-sheet.png"
fi
