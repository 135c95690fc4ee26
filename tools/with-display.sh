#!/usr/bin/env bash
# Runs a command on a virtual display of its own: with-display.sh CMD [ARG...]
#
# Xvfb picks the display number itself (-displayfd) and tells it once it
# accepts connections. xvfb-run -a guesses a number from the lock files in
# /tmp instead, which on a machine whose /tmp is private but whose abstract
# X sockets are shared with others (a CI sandbox) can hand the command a
# display another server answers, and the command then cannot connect.
set -euo pipefail

dir=$(mktemp -d)
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
cleanup() {
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

for _ in $(seq 200); do
  if grep -q . "$dir/display" 2>/dev/null && [ "$(tail -c1 "$dir/display" | od -An -c | tr -d ' ')" = '\n' ]; then
    break
  fi
  if ! kill -0 "$xvfb" 2>/dev/null; then
    echo "with-display: Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    exit 1
  fi
  sleep 0.1
done
number=$(head -n1 "$dir/display")
if [ -z "$number" ]; then
  echo "with-display: Xvfb named no display within 20 s" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
fi

set +e
DISPLAY=":$number" "$@"
status=$?
set -e
exit "$status"
