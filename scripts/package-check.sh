#!/usr/bin/env bash
# Makes the Debian package from a built tree, checks it with lintian, installs it the way the README tells an operator
# (apt-get install ./file.deb), checks what was installed, and removes it again. Needs root.
#   scripts/package-check.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-${BUILD_DIR:-$here/build}}")"
apt=(apt-get -o DPkg::Lock::Timeout=600 -y -qq)

if [ "$(id -u)" -ne 0 ]; then
  echo "package-check: run as root (it installs and removes the package)" >&2
  exit 1
fi
# dpkg-shlibdeps works out the package's dependencies; help2man makes the manual pages; lintian
# checks the package against Debian's policy; the validators check the menu entry and the
# software-centre description; man-db reads the installed manual pages.
# shellcheck source=install-missing.sh
source "$here/scripts/install-missing.sh"
install_missing package-check dpkg-dev lintian help2man appstream desktop-file-utils man-db

"$here/scripts/setup.sh" "$build"

echo "== package"
out="$build/package"
rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb="$(find "$out" -maxdepth 1 -name 'kviro-service_*.deb' -print -quit)"
[ -n "$deb" ] || { echo "package-check: cpack made no package" >&2; exit 1; }
echo "$(basename "$deb"): $(du -h "$deb" | cut -f1)"
dpkg-deb --field "$deb" Package Version Maintainer Depends Recommends

fail() { echo "package-check: $*" >&2; exit 1; }

echo "== lintian"
# Every tag is shown (errors, warnings, notes); an error fails the check.
lintian --allow-root --display-info --fail-on error "$deb" || fail "lintian reports errors"
echo "lintian: no errors"

echo "== contents"
contents="$(dpkg-deb --contents "$deb" | awk '{print $6}')"
for file in ./usr/share/doc/kviro-service/copyright ./usr/share/doc/kviro-service/changelog.Debian.gz \
  ./usr/share/doc/kviro-service/README.Debian ./usr/share/man/man1/kviro-service.1.gz ./usr/share/man/man1/kviro-sim.1.gz; do
  grep -qx "$file" <<<"$contents" || fail "the package lacks $file"
done
remove() { DEBIAN_FRONTEND=noninteractive "${apt[@]}" remove --purge kviro-service >/dev/null 2>&1 || true; }
trap remove EXIT

echo "== install"
remove
# apt-get takes a local file only with a path: ./name or an absolute one.
DEBIAN_FRONTEND=noninteractive "${apt[@]}" install "$(realpath "$deb")" | grep -v '^$' | tail -n 8

echo "== installed program"
[ "$(command -v kviro-service)" = /usr/bin/kviro-service ] || fail "kviro-service is not in /usr/bin"
[ -x /usr/bin/kviro-sim ] || fail "kviro-sim is not installed"
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
version="$("${nodisplay[@]}" kviro-service --version)"
echo "$version"
[[ "$version" == "КВИРО-сервис "[0-9]* ]] || fail "unexpected --version: $version"
[ "$("${nodisplay[@]}" QT_QPA_PLATFORM=offscreen kviro-service --version)" = "$version" ] || fail "--version differs offscreen"
"${nodisplay[@]}" kviro-service --help | grep -- '--working-folder' >/dev/null || fail "--help lists no options"
if [ -e "$build/src/cli/kviro-cli" ]; then
  [ -x /usr/bin/kviro-cli ] || fail "kviro-cli was built but is not installed"
fi
if [ -x /usr/bin/kviro-cli ]; then
  "${nodisplay[@]}" kviro-cli --version || fail "kviro-cli --version failed"
fi
code=0
"${nodisplay[@]}" kviro-service --bogus 2>/dev/null || code=$?
[ "$code" -eq 2 ] || fail "an unknown option without a display ended with exit code $code, not 2"
"${nodisplay[@]}" kviro-sim --help | grep -- '--folder' >/dev/null || fail "kviro-sim --help lists no options"

echo "== manual pages"
for program in kviro-service kviro-sim kviro-cli; do
  [ -x "/usr/bin/$program" ] || continue
  page="$(man -w "$program")" || fail "no manual page for $program"
  MANWIDTH=80 man "$program" 2>/dev/null | grep -- '--help' >/dev/null || fail "the manual page of $program lists no options"
  echo "$program: $page"
done

echo "== menu entry, icon, metainfo"
desktop-file-validate /usr/share/applications/kviro-service.desktop
appstreamcli validate --no-net /usr/share/metainfo/ru.kviro.kviro_service.metainfo.xml | tail -n 1
for size in 16 22 24 32 48 64 128 256; do
  [ -f "/usr/share/icons/hicolor/${size}x${size}/apps/kviro-service.png" ] || fail "no ${size}x${size} icon"
done
[ -f /usr/share/icons/hicolor/scalable/apps/kviro-service.svg ] || fail "no scalable icon"

echo "== working files of the installed program go to the user's data folder"
homes="$(mktemp -d)"
trap 'rm -rf "$homes"; remove' EXIT
chmod 755 "$homes"
mkdir -p "$homes/root" "$homes/nobody"
chown nobody "$homes/nobody"
# Root could write /usr/bin, but the files still go per user. Root has the folder of an earlier
# version: it is renamed, its files kept, and its old name left as a link.
earlier="$homes/root/.local/share/КВИРО-сервис 2011_01_01 (3070)"
mkdir -p "$earlier/logs"
echo protocol >"$earlier/MSTempProtokol.txt"
folder="$(env -u XDG_DATA_HOME HOME="$homes/root" "${nodisplay[@]}" kviro-service --working-folder)"
echo "root:   $folder"
[ "$folder" = "$homes/root/.local/share/kviro-service/" ] || fail "root's working folder is $folder"
[ -d "$folder" ] || fail "root's working folder was not made"
[ "$(cat "${folder}MSTempProtokol.txt")" = protocol ] || fail "the earlier folder's files did not come along"
[ -L "$earlier" ] || fail "the earlier folder's name is not left as a link"
[ "$(cat "$earlier/MSTempProtokol.txt")" = protocol ] || fail "the earlier name does not lead to the files"
folder="$(setpriv --reuid=nobody --regid=nogroup --clear-groups \
  env -u XDG_DATA_HOME -u XDG_RUNTIME_DIR HOME="$homes/nobody" "${nodisplay[@]}" kviro-service --working-folder)"
echo "nobody: $folder"
[ "$folder" = "$homes/nobody/.local/share/kviro-service/" ] || fail "a user's working folder is $folder"
[ -d "$folder" ] || fail "a user's working folder was not made"
[ -z "$(find /usr/bin -maxdepth 1 -name '.kviro*' -print -quit)" ] || fail "the program wrote into /usr/bin"

echo "== remove"
remove
[ ! -e /usr/bin/kviro-service ] || fail "kviro-service is still there after removal"
[ ! -e /usr/share/applications/kviro-service.desktop ] || fail "the menu entry is still there after removal"
! dpkg-query -W -f='${Status}' kviro-service 2>/dev/null | grep 'install ok installed' >/dev/null || fail "still installed"
echo "package-check: $(basename "$deb") installs, runs and removes cleanly"
