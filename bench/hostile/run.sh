#!/bin/sh
# Tries hostile names (x where they appear) and build faults through the pack
# contents and the pack build, and counts wrong packs: a build reported as a
# success whose pack is not what the user chose (files missing, extra, under
# another name or with other bytes; names a Windows tool reads otherwise;
# manifest names without an entry), plus target faults.
# Builds nothing itself.
# With BUNDLESMITH_HOSTILE_KEEP=DIR every pack built is kept there as N.plsc.
# Usage: bench/hostile/run.sh [build-dir]
set -e
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib.sh"
bin=$(bench_bin "${1:-}" hostile bench_hostile)
QT_QPA_PLATFORM=offscreen "$bin"
