#!/bin/sh
# Renders the application icon's PNG sizes from its SVG (needs rsvg-convert,
# from librsvg2-bin). The PNGs are kept in the repository, so building and
# installing need neither.
set -e
cd "$(dirname "$0")/../data/icons"
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" org.bundlesmith.Bundlesmith.svg -o "bundlesmith-$size.png"
done
