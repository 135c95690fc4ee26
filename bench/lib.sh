# Sourced by each benchmark's run.sh.
# bench_bin BUILD-DIR FOLDER TARGET prints the path of a built benchmark, BUILD-DIR
# being the default preset's build folder when empty; fails, saying how to
# build it, when it is not there.
bench_bin() {
    build=${1:-$(cd "$(dirname "$0")/../.." && pwd)/build/default}
    bin="$build/bench/$2/$3"
    if [ ! -x "$bin" ]; then
        echo "$bin is missing: configure with -DBUNDLESMITH_BENCH=ON and build the target $3" \
             "(cmake --preset default -DBUNDLESMITH_BENCH=ON && cmake --build --preset default --target $3)" >&2
        return 1
    fi
    echo "$bin"
}

# For the races against Info-ZIP's zip: fails when zip is missing, else makes
# the scratch folder $work, removed on exit.
zip_race_scratch() {
    command -v zip >/dev/null || { echo "Info-ZIP zip is needed" >&2; exit 1; }
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
}

# Seconds since the epoch, to the nanosecond.
now() { date +%s.%N; }
