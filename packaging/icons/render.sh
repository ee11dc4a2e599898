#!/usr/bin/env bash
# Renders the program's icon (kviro-service.svg) into the PNG sizes of the hicolor icon theme,
# kept in the repository beside it. Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$here/kviro-service.svg" -o "$here/kviro-service-$size.png"
done
# The Windows icon: the same sizes up to 128 as bitmaps, 256 as PNG (Windows Vista on). Needs
# icotool (Debian package icoutils).
sizes=()
for size in 16 24 32 48 64 128; do sizes+=("$here/kviro-service-$size.png"); done
icotool -c -o "$here/kviro-service.ico" "${sizes[@]}" -r "$here/kviro-service-256.png"
