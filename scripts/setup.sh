#!/usr/bin/env bash
# Installs what the build needs on Debian 12 (as root, only what is missing), configures and builds.
#   scripts/setup.sh [BUILD_DIR] [extra cmake options...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
shift || true

# shellcheck source=install-missing.sh
source "$here/scripts/install-missing.sh"
install_missing setup cmake ninja-build g++ clang qt6-base-dev qt6-serialport-dev libgl-dev xvfb xauth \
  fonts-dejavu-core python3 qt6-translations-l10n libxlsxwriter-dev unzip ser2net

# A compiler cache, when the machine has one, makes rebuilds in several checkouts cheap.
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
echo "setup: configuring $build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "${launcher[@]}" "$@" >/dev/null
# KVIRO_TARGETS="a b": only those targets (and what they need), as scripts/run.sh builds.
targets=()
if [ -n "${KVIRO_TARGETS:-}" ]; then
  read -ra names <<<"$KVIRO_TARGETS"
  targets=(--target "${names[@]}")
fi
echo "setup: building ${KVIRO_TARGETS:-everything} ([steps done/steps])"
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
