#!/usr/bin/env bash
# Renders every page of the program on the virtual instrument under Xvfb into docs/: once with
# the system text at 96 dpi (1x), once at 120 dpi (125 % text) into docs/120dpi/. Qt 6 reads
# QT_FONT_DPI only on X11, and only as a text size when whole-window scaling is switched off.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"
"$here/scripts/setup.sh" "$build"
xvfb-run -a -s "-screen 0 1280x1024x24" env QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI=96 "$build/tools/kviro-shots" "$here/docs"
xvfb-run -a -s "-screen 0 1280x1024x24" env QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI=120 "$build/tools/kviro-shots" "$here/docs/120dpi"
# The plate's workbook as a spreadsheet program prints it (LibreOffice Calc and pdftoppm, when
# installed): the top of its first page.
if command -v soffice >/dev/null && command -v pdftoppm >/dev/null; then
  tmp="$(mktemp -d)"
  soffice --headless -env:UserInstallation="file://$tmp/profile" --convert-to pdf --outdir "$tmp" \
    "$here/docs/plate.xlsx" >/dev/null 2>&1 &&
    pdftoppm -png -r 110 -f 1 -l 1 -x 60 -y 60 -W 1150 -H 240 -singlefile "$tmp/plate.pdf" "$here/docs/workbook"
  rm -rf "$tmp"
fi
ls -l "$here/docs"/*.png "$here/docs/120dpi"/*.png
