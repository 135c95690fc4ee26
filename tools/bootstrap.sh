#!/usr/bin/env bash
# Sets up a Debian 12 machine for Bundlesmith and then either starts the wizard
# (`run`) or builds and runs the whole test suite in both configurations (`test`).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-run}
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-qpa-plugins fonts-dejavu-core
  libzip-dev zlib1g-dev libdeflate-dev
  fonts-wine
  xvfb xauth
  zip unzip python3 libxml2-utils
  appstream desktop-file-utils groff-base
  at-spi2-core python3-pyatspi dbus-daemon
  qt6-l10n-tools qt6-translations-l10n
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)
case "$mode" in
  run)
    cmake --preset default
    cmake --build --preset default --target bundlesmith -j "$jobs"
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "No display found: starting the wizard on a virtual one (Xvfb)."
      exec ./tools/with-display.sh ./build/default/src/bundlesmith
    fi
    exec ./build/default/src/bundlesmith
    ;;
  test)
    for preset in default asan; do
      echo "== $preset =="
      cmake --preset "$preset"
      cmake --build --preset "$preset" -j "$jobs"
      ctest --preset "$preset" -j "$jobs"
    done
    echo "== install =="
    ./tools/check-install.sh build/default
    echo "== accessibility =="
    ./tools/with-display.sh dbus-run-session -- /usr/bin/python3 tools/check-accessibility.py build/default/src/bundlesmith
    ;;
  *)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac
