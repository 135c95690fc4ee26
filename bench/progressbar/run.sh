#!/bin/sh
# Runs the progress bar benchmark from an existing build and, with --sheet,
# renders docs/progressbar-sheet.png. Builds nothing itself.
# Usage: bench/progressbar/run.sh [build-dir] [--sheet]
set -e
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib.sh"
bin=$(bench_bin "${1:-}" progressbar bench_progressbar)
QT_QPA_PLATFORM=offscreen "$bin" 20000
if [ "${2:-}" = "--sheet" ]; then
    sheet=$(bench_bin "${1:-}" progressbar progressbar_sheet)
    "$sheet" "$here/../../docs/progressbar-sheet.png"
    echo "wrote docs/progressbar-sheet.png"
fi
