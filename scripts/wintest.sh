#!/usr/bin/env bash
# Windows checks on Linux: builds the registry reader with its test for Windows (MinGW-w64,
# statically linked) and runs the test under Wine; then compiles every source that has a
# Windows branch for Windows (syntax only, against this machine's Qt headers), so that code
# seen only by a Windows compiler cannot break unseen. Installs what it needs as root.
#   scripts/wintest.sh [OUT_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$here/build-win}"

# shellcheck source=install-missing.sh
source "$here/scripts/install-missing.sh"
install_missing wintest --no-install-recommends g++-mingw-w64-x86-64 wine wine64 qt6-base-dev qt6-serialport-dev

cxx=x86_64-w64-mingw32-g++
flags=(-std=c++20 -Wall -Wextra -Werror -I"$here/src")
mkdir -p "$out"

echo "== Windows: registry reader test (MinGW-w64, run under Wine)"
"$cxx" "${flags[@]}" -municode -static -O1 -o "$out/tst_registryvalues.exe" \
  "$here/src/link/registryvalues.cpp" "$here/tests/win/tst_registryvalues.cpp"

# A throw-away Wine prefix: nothing of the machine's own, no Mono or Gecko installers asked for.
prefix="$(mktemp -d "${TMPDIR:-/tmp}/kviro-wine.XXXXXX")"
cleanup() {
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=" WINEARCH=win64
# Wine's own notices (the prefix being created, no 32-bit half) go to stderr; kept apart.
if ! wine "$out/tst_registryvalues.exe" 2>"$out/wine.log"; then
  cat "$out/wine.log" >&2
  echo "wintest: the registry reader test failed under Wine" >&2
  exit 1
fi

echo "== Windows: syntax of every Windows branch (MinGW-w64, this machine's Qt headers)"
# Qt's headers are mostly the same on every platform; compiled for Windows they take their
# Windows side. Their export macros give harmless dllimport warnings with this mix, hence
# -Wno-attributes.
qt="$(dirname "$(find /usr/include -path '*/qt6/QtCore' -type d -print -quit)")"
qtflags=(-I"$qt")
for module in "$qt"/Qt*; do qtflags+=(-I"$module"); done
count=0
while IFS= read -r source; do
  "$cxx" "${flags[@]}" -Wno-attributes -fsyntax-only "${qtflags[@]}" -I"$here" "$source"
  echo "ok   ${source#"$here"/}"
  count=$((count + 1))
done < <(grep -rlE --include='*.cpp' --include='*.h' 'Q_OS_WIN|_WIN32' "$here/src" "$here/sim" "$here/tools" | sort)
echo "wintest: $count source(s) with a Windows branch compile for Windows"
