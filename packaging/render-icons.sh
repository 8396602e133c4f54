#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from icons/ovela.svg. The PNGs are committed, so
# this runs only when the drawing changes (it needs librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/icons"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "${size}x${size}"
  rsvg-convert -w "$size" -h "$size" ovela.svg -o "${size}x${size}/ovela.png"
done
