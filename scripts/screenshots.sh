#!/usr/bin/env bash
# Renders every page of the program on the virtual instrument under Xvfb on a 1280 x 1024 screen:
# the whole set with the system text at 96 dpi (1x) into docs/, and the window's pages once more
# with the text at 120 and 144 dpi and with the whole window scaled 2x into
# docs/dpi/<page>-<setting>.png. Qt 6 reads QT_FONT_DPI only on X11, and only as a text size when
# whole-window scaling is switched off.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"
"$here/scripts/setup.sh" "$build"
screen="-screen 0 1280x1024x24"
xvfb-run -a -s "$screen" env QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI=96 "$build/tools/kviro-shots" "$here/docs"
mkdir -p "$here/docs/dpi"
tmp_shots="$(mktemp -d)"
trap 'rm -rf "$tmp_shots"' EXIT
shoot_setting() { # NAME ENV...
  local name="$1"
  shift
  mkdir -p "$tmp_shots/$name"
  xvfb-run -a -s "$screen" env "$@" "$build/tools/kviro-shots" "$tmp_shots/$name"
  for page in about firmware-steps12 firmware-step3 bdts reader results; do
    cp "$tmp_shots/$name/$page.png" "$here/docs/dpi/$page-$name.png"
  done
}
shoot_setting 120dpi QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI=120
shoot_setting 144dpi QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI=144
shoot_setting 2x QT_SCALE_FACTOR=2 QT_FONT_DPI=96
# The plate's workbook as a spreadsheet program prints it (LibreOffice Calc and pdftoppm, when
# installed): the top of its first page.
if command -v soffice >/dev/null && command -v pdftoppm >/dev/null; then
  tmp="$(mktemp -d)"
  soffice --headless -env:UserInstallation="file://$tmp/profile" --convert-to pdf --outdir "$tmp" \
    "$here/docs/plate.xlsx" >/dev/null 2>&1 &&
    pdftoppm -png -r 110 -f 1 -l 1 -x 60 -y 60 -W 1150 -H 240 -singlefile "$tmp/plate.pdf" "$here/docs/workbook"
  rm -rf "$tmp"
fi
ls -l "$here/docs"/*.png "$here/docs/dpi"/*.png
