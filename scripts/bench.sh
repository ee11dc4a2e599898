#!/usr/bin/env bash
# Builds (optimised) and runs every benchmark to its end, printing its figures.
#   scripts/bench.sh [IDLE_SECONDS]   the figures: an optimised tree in build-release/
#   scripts/bench.sh --short          a quick pass of every benchmark on the test tree (CI), so a
#                                     benchmark that no longer runs is seen; its figures mean little
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
short=0
if [ "${1:-}" = "--short" ]; then
  short=1
  shift
fi
if ((short)); then
  build="${BENCH_BUILD_DIR:-$here/build}"
  "$here/scripts/setup.sh" "$build"
  idle=5
else
  build="${BENCH_BUILD_DIR:-$here/build-release}"
  BUILD_TYPE=Release "$here/scripts/setup.sh" "$build"
  idle="${1:-60}"
fi

echo "== idle program"
"$here/bench/link/idle.sh" "$build" "$idle"
ran=0
for b in "$build"/bench/*/bench_*; do
  # Only the programs: the build also leaves folders named bench_*_autogen here.
  [ -f "$b" ] && [ -x "$b" ] || continue
  name="$(basename "$b")"
  args=()
  if ((short)); then
    case "$name" in
      bench_bdts_lists) args=(3) ;;
      bench_bdts_transfer) args=(20) ;;
      bench_firmware_transfer) args=(--size 40000) ;;
      bench_cli) args=(--pages 20 --size 40000) ;;
      bench_soak) args=(--seconds 24) ;;
      bench_network) args=(--pages 20) ;;
    esac
  fi
  echo "== $name ${args[*]}"
  QT_QPA_PLATFORM=offscreen "$b" "${args[@]}"
  ran=$((ran + 1))
done
if ((ran == 0)); then
  echo "bench: no benchmark found in $build/bench" >&2
  exit 1
fi
echo "== $ran benchmarks and the idle program ran to the end"
