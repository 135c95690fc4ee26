#!/bin/sh
# Runs the contents benchmark from an existing build. Builds nothing itself.
# Usage: bench/contents/run.sh [build-dir]
set -e
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib.sh"
bin=$(bench_bin "${1:-}" contents bench_contents)
QT_QPA_PLATFORM=offscreen "$bin"
