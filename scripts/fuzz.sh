#!/usr/bin/env bash
# Fuzzes the database file reader and the database replies of the serial link (page count,
# page, acknowledgement) for SECONDS (default 60) with libFuzzer and AddressSanitizer.
# Builds with clang++ into build-fuzz/; fails on any finding. Skipped when clang++ is missing.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build="${FUZZ_BUILD_DIR:-$here/build-fuzz}"
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not found, skipped"
  exit 0
fi
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DKVIRO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzz_bdts -j2
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
ASAN_OPTIONS=detect_leaks=0 "$build/fuzz/fuzz_bdts" -max_total_time="$seconds" -rss_limit_mb=2048 \
  -artifact_prefix="$build/" "$corpus" "$here/fuzz/seeds"
