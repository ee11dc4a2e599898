#!/usr/bin/env bash
# Cross-builds the Windows programs on Linux: kviro-service.exe and kviro-cli.exe, each one file
# (Qt, the MinGW-w64 C and C++ runtimes and libxlsxwriter linked in statically), with the
# program's icon and version resource; then the installer and the portable .zip (cpack).
# Qt for Windows comes from the archive in ../shared/windows-qt (static Qt 6.4.2, MinGW-w64) and
# is unpacked into the build folder; libxlsxwriter is built for Windows from Debian's own source
# package. Both are kept between runs; the compiler cache (ccache) makes rebuilds cheap.
#   scripts/windows-build.sh [OUT_DIR]          (default: build-windows)
# Leaves OUT_DIR/dist/: kviro-service.exe, kviro-cli.exe, kviro-service-<version>-setup.exe,
# kviro-service-<version>-win64.zip. Installs what it needs as root.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$here/build-windows}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
start=$SECONDS

# The shared folder lies beside the checkout (CI, the main checkout) or one level higher (a
# worktree under wt/).
qt_name=windows-qt/qt6.4.2-mingw-w64-x86_64-static.tar.xz
qt_archive="${KVIRO_WINDOWS_QT:-}"
if [ -z "$qt_archive" ]; then
  for dir in "$here/../shared" "$here/../../shared"; do
    if [ -f "$dir/$qt_name" ]; then qt_archive="$dir/$qt_name"; break; fi
  done
fi
if [ ! -f "$qt_archive" ]; then
  echo "windows-build: Qt for Windows ($qt_name) not found in ../shared or ../../shared (set KVIRO_WINDOWS_QT)" >&2
  exit 1
fi

# shellcheck source=install-missing.sh
source "$here/scripts/install-missing.sh"
# The host's Qt gives moc, rcc and uic of the same version, and the Russian translations that
# are embedded in the Windows program (no Qt folder beside it to load them from).
install_missing windows-build --no-install-recommends g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
  libz-mingw-w64-dev cmake ninja-build ccache xz-utils python3 qt6-base-dev qt6-base-dev-tools \
  qt6-translations-l10n nsis zip

launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# 1. Qt, unpacked once per archive.
qt="$out/qt/kviro-qt6-mingw"
stamp="$(stat -c '%s %Y' "$qt_archive")"
if [ "$(cat "$out/qt/.archive" 2>/dev/null)" != "$stamp" ]; then
  echo "== Windows: unpacking Qt"
  rm -rf "$out/qt"
  mkdir -p "$out/qt"
  tar -xJf "$qt_archive" -C "$out/qt"
  echo "$stamp" >"$out/qt/.archive"
fi
toolchain="$qt/lib/cmake/Qt6/mingw-posix.cmake"

# 2. libxlsxwriter for Windows, from Debian's source package of the version the Linux build uses.
xlsx="$out/xlsxwriter"
if [ ! -f "$xlsx/prefix/lib/libxlsxwriter.a" ]; then
  echo "== Windows: libxlsxwriter from Debian's source package"
  rm -rf "$xlsx"
  mkdir -p "$xlsx/apt/lists/partial" "$xlsx/src"
  # Debian's source index in a private apt state, so the machine's own apt set-up is left alone.
  echo "deb-src http://deb.debian.org/debian bookworm main" >"$xlsx/apt/sources.list"
  aptopts=(-q -o Dir::Etc::SourceList="$xlsx/apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
           -o Dir::State::Lists="$xlsx/apt/lists" -o Dir::Cache="$xlsx/apt/cache")
  apt-get "${aptopts[@]}" update >/dev/null
  (cd "$xlsx/src" && apt-get "${aptopts[@]}" source --download-only libxlsxwriter >/dev/null 2>&1)
  tar -xzf "$xlsx"/src/libxlsxwriter_*.orig.tar.gz -C "$xlsx/src"
  srcdir="$(find "$xlsx/src" -maxdepth 1 -type d -name 'libxlsxwriter-*' -print -quit)"
  cmake -S "$srcdir" -B "$xlsx/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" "${launcher[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$xlsx/prefix" -DBUILD_SHARED_LIBS=OFF \
    -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include >/dev/null
  cmake --build "$xlsx/build" >/dev/null
  cmake --install "$xlsx/build" >/dev/null
fi

# 3. The two programs.
echo "== Windows: kviro-service.exe and kviro-cli.exe"
"$qt/bin/qt-cmake" -S "$here" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
  -DCMAKE_EXE_LINKER_FLAGS=-static \
  -DXLSXWRITER_INCLUDE_DIR="$xlsx/prefix/include" -DXLSXWRITER_LIBRARY="$xlsx/prefix/lib/libxlsxwriter.a" \
  -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include \
  -DKVIRO_HOST_TRANSLATIONS=/usr/share/qt6/translations >/dev/null
cmake --build "$out/build" -j"$(nproc)"

# 4. Installer and portable archive.
echo "== Windows: installer and portable .zip"
(cd "$out/build" && cpack -G "NSIS;ZIP" >/dev/null)
rm -rf "$out/dist"
mkdir -p "$out/dist"
cp "$out/build/src/app/kviro-service.exe" "$out/build/src/cli/kviro-cli.exe" "$out/dist/"
x86_64-w64-mingw32-strip "$out/dist/kviro-service.exe" "$out/dist/kviro-cli.exe"
cp "$out"/build/kviro-service-*-setup.exe "$out"/build/kviro-service-*-win64.zip "$out/dist/"
# One file each: nothing but Windows' own DLLs may be imported.
for exe in "$out"/dist/kviro-service.exe "$out"/dist/kviro-cli.exe; do
  foreign="$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' |
    grep -viE '^winspool\.drv$' | grep -viE '^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|winmm|imm32|uxtheme|dwmapi|version|ws2_32|mpr|netapi32|userenv|uuid|setupapi|shlwapi|shcore|wtsapi32|d3d9|dxgi|d3d11|dwrite|crypt32|secur32|iphlpapi|dnsapi|bcrypt|ncrypt|winhttp|msvcrt|authz|comctl32|rpcrt4|api-ms-win-.*)\.dll$' || true)"
  if [ -n "$foreign" ]; then
    echo "windows-build: $(basename "$exe") needs DLLs that Windows does not have: $foreign" >&2
    exit 1
  fi
done
# `cmake --install` installs exactly what this script builds: the two programs and the licence
# files, nothing of the Linux-only rules (virtual instrument, manual pages, menu entry, icons);
# the portable archive holds the same files.
expected="GPL-3.txt LGPL-3.txt kviro-cli.exe kviro-service.exe qt-licence.txt"
rm -rf "$out/install-check"
cmake --install "$out/build" --prefix "$out/install-check" >/dev/null
installed="$(cd "$out/install-check" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs)"
[ "$installed" = "$expected" ] || { echo "windows-build: cmake --install installs '$installed', not '$expected'" >&2; exit 1; }
zipped="$(python3 -c 'import sys, zipfile
print(" ".join(sorted(n.split("/", 1)[1] for n in zipfile.ZipFile(sys.argv[1]).namelist() if not n.endswith("/"))))' \
  "$out"/dist/kviro-service-*-win64.zip)"
[ "$zipped" = "$expected" ] || { echo "windows-build: the .zip holds '$zipped', not '$expected'" >&2; exit 1; }
ls -l "$out/dist"
echo "windows-build: done in $((SECONDS - start)) s"
