#!/usr/bin/env bash
# Renders every page of the program on the virtual instrument under Xvfb into docs/.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"
"$here/scripts/setup.sh" "$build"
xvfb-run -a -s "-screen 0 1024x768x24" "$build/tools/kviro-shots" "$here/docs"
ls -l "$here/docs"/*.png
