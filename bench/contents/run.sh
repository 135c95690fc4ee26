#!/bin/sh
# Runs the contents benchmark from an existing build. Builds nothing itself.
# Usage: bench/contents/run.sh [build-dir]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-contents}
bin="$build/bench/contents/bench_contents"
[ -x "$bin" ] || { echo "build the target bench_contents in $build first" >&2; exit 1; }
QT_QPA_PLATFORM=offscreen "$bin"
