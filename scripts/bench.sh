#!/usr/bin/env bash
# Builds (optimised) and runs every benchmark, printing its figures.
#   scripts/bench.sh [idle-seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD_DIR:-$here/build-release}"
BUILD_TYPE=Release "$here/scripts/setup.sh" "$build"
echo "== idle program"
"$here/bench/link/idle.sh" "$build" "${1:-60}"
for b in "$build"/bench/*/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  QT_QPA_PLATFORM=offscreen "$b"
done
