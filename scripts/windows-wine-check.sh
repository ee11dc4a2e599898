#!/usr/bin/env bash
# Runs the Windows programs made by scripts/windows-build.sh under Wine, in a throw-away prefix,
# against the virtual instrument: COM3 (and COM12) of the prefix are mapped to its
# pseudo-terminals through HKLM\Software\Wine\Ports, so the programs find them in
# HARDWARE\DEVICEMAP\SERIALCOMM as on Windows. Checks kviro-cli.exe (texts on a console and
# redirected, ports, db-list against the Linux program, probe), kviro-service.exe (starts, draws
# every page, lists COM3, probes, closes) and the installer round trip. Screenshots of the window
# go to OUT_DIR/shots (scripts/windows-wine-check.sh --shots copies them into docs/windows/).
#   scripts/windows-wine-check.sh [--shots] [WINDOWS_OUT_DIR] [LINUX_BUILD_DIR]
# Defaults: build-windows and build. Fails on the first check that does not hold.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
shots_to_docs=0
if [ "${1:-}" = "--shots" ]; then shots_to_docs=1; shift; fi
win="$(cd "${1:-$here/build-windows}" && pwd)"
linux="$(cd "${2:-$here/build}" && pwd)"
dist="$win/dist"

# shellcheck source=install-missing.sh
source "$here/scripts/install-missing.sh"
install_missing windows-wine-check --no-install-recommends wine wine64 xvfb xauth xdotool imagemagick \
  bsdextrautils unzip

for f in kviro-cli.exe kviro-service.exe; do
  [ -f "$dist/$f" ] || { echo "windows-wine-check: $dist/$f missing (run scripts/windows-build.sh)" >&2; exit 1; }
done
cmake --build "$linux" --target kviro-sim kviro-cli >/dev/null
sim_bin="$linux/sim/kviro-sim"
cli_linux="$linux/src/cli/kviro-cli"

work="$(mktemp -d "${TMPDIR:-/tmp}/kviro-wine-check.XXXXXX")"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=" WINEARCH=win64
# A Russian Windows: ANSI code page 1251, console (OEM) code page 866. Wine takes it from the
# locale, which must exist for its console to show Cyrillic on the terminal.
if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
  install_missing windows-wine-check locales
  localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
export LANG=ru_RU.UTF-8 LC_ALL=
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

pass=0
ok() { echo "ok   $*"; pass=$((pass + 1)); }
fail() { echo "FAIL $*" >&2; exit 1; }

# The virtual instruments: COM3 (the one the programs use) and COM12 (the \\.\ form).
start_sim() { # NAME COM; sets sim_pty to its pseudo-terminal
  local name=$1 com=$2 fd
  mkfifo "$work/$name.ctl"
  "$sim_bin" --folder "$work/ports-$name" --com "$com" <"$work/$name.ctl" >"$work/$name.out" 2>&1 &
  pids+=($!)
  exec {fd}>"$work/$name.ctl"
  eval "${name}_fd=$fd"
  for _ in $(seq 50); do grep -q ' -> ' "$work/$name.out" 2>/dev/null && break; sleep 0.1; done
  sim_pty="$(sed -n 's/.* -> //p' "$work/$name.out" | head -1)"
}
sim_say() { # NAME COMMAND -> the sim's answer
  local name=$1 fdvar="${1}_fd" before
  before=$(wc -l <"$work/$name.out")
  echo "$2" >&"${!fdvar}"
  sleep 0.3
  tail -n +"$((before + 1))" "$work/$name.out"
}
start_sim sim3 3
pty3="$sim_pty"
start_sim sim12 12
pty12="$sim_pty"
[ -n "$pty3" ] && [ -n "$pty12" ] || fail "the virtual instrument did not start: $(cat "$work"/*.out)"

wine wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot: $(tail -5 "$work/wineboot.log")"
# Wine lists the machine's /dev/ttyS* too, from COM1 on, unless COM1 is taken: those devices have
# no UART behind them here, and a port that fails half-way blocks the program under Wine (see
# README). COM1 goes to the same instrument, so the window's port search, which takes the first
# listed port that opens, finds it first.
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$pty3" /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM3 /t REG_SZ /d "$pty3" /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM12 /t REG_SZ /d "$pty12" /f >/dev/null 2>&1
# COM20 is above the ports the programs use: it must be named with the reason, not lost.
wine reg add 'HKLM\Software\Wine\Ports' /v COM20 /t REG_SZ /d "$pty12" /f >/dev/null 2>&1
# Wine writes SERIALCOMM from the port map when the prefix starts.
wineserver -k || true
wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' >"$work/serialcomm.txt" 2>/dev/null || true
grep -q 'COM3' "$work/serialcomm.txt" || fail "COM3 not in SERIALCOMM: $(cat "$work/serialcomm.txt")"
ok "prefix with COM3 -> $pty3 and COM12 -> $pty12 in SERIALCOMM"

cli="$dist/kviro-cli.exe"
# Runs the Windows kviro-cli with its output redirected to files: OUT ERR CODE.
run_cli() { # NAME ARGS...
  local name=$1
  shift
  set +e
  timeout 90 wine "$cli" "$@" >"$work/$name.out" 2>"$work/$name.err"
  echo $? >"$work/$name.code"
  set -e
}
# The same on a console: Wine behind a terminal (script(1)) gives the program a console.
run_cli_console() { # NAME ARGS...
  local name=$1
  shift
  script -qec "timeout 90 wine $(printf '%q ' "$cli" "$@")" /dev/null >"$work/$name.tty" 2>&1 || true
}
is_utf8() { iconv -f UTF-8 -t UTF-8 "$1" >/dev/null 2>&1; }

# 1. Texts: redirected output is UTF-8 (as on Linux), a console shows the Cyrillic as it stands.
run_cli version --version
grep -qx 'kviro-cli 2[0-9.]*.*' "$work/version.out" || fail "--version redirected: $(cat "$work/version.out")"
run_cli help --help
is_utf8 "$work/help.out" && grep -q 'Команды' "$work/help.out" || fail "--help redirected is not UTF-8 Cyrillic: $(head -3 "$work/help.out")"
run_cli bad frobnicate
[ "$(cat "$work/bad.code")" = 2 ] || fail "a wrong command exits $(cat "$work/bad.code"), not 2"
is_utf8 "$work/bad.err" && grep -q 'неизвестная команда' "$work/bad.err" || fail "a wrong command's message: $(cat "$work/bad.err")"
ok "--version, --help and a wrong command redirected: UTF-8 Cyrillic, exit 2"
run_cli_console help-tty --help
grep -q 'Команды' "$work/help-tty.tty" || fail "--help on a console: $(head -3 "$work/help-tty.tty")"
run_cli_console bad-tty frobnicate
grep -q 'неизвестная команда' "$work/bad-tty.tty" || fail "a wrong command on a console: $(cat "$work/bad-tty.tty")"
ok "--help and a wrong command on a console: readable Cyrillic"

# 2. ports: COM3 and COM12 from SERIALCOMM, the real registry path. Each is named: Wine also maps
# the machine's /dev/ttyS* as COM1.., which may not open as serial ports here.
for com in 3 12; do
  run_cli "ports$com" ports --port "COM$com"
  grep -q "^COM$com .*открывается" "$work/ports$com.out" || fail "ports COM$com: $(cat "$work/ports$com.out" "$work/ports$com.err")"
done
ok "ports finds COM3 and COM12 in the registry and opens them"
run_cli ports20 ports --port COM20
[ "$(cat "$work/ports20.code")" = 1 ] && grep -q 'COM20 есть, но не используется: программа работает только с портами COM1–COM16' "$work/ports20.err" ||
  fail "ports --port COM20: $(cat "$work/ports20.out" "$work/ports20.err")"
grep -q 'Диспетчер устройств' "$work/ports20.err" || fail "ports --port COM20 gives no Windows advice: $(cat "$work/ports20.err")"
ok "COM20 of the registry is named as not used, with the advice to renumber it"

# 3. db-list of the sample files: the same text as the Linux program's.
for sample in "$here"/samples/*.bdts "$here"/samples/*.bdt; do
  [ -f "$sample" ] || continue
  name="$(basename "$sample")"
  cp "$sample" "$work/$name"
  (cd "$work" && "$cli_linux" db-list "$name" >"$work/linux-$name.txt" 2>&1) || true
  (cd "$work" && wine "$cli" db-list "$name" >"$work/win-$name.crlf" 2>&1) || true
  # Text written to a file on Windows ends its lines with CR LF, as Windows text does.
  tr -d '\r' <"$work/win-$name.crlf" >"$work/win-$name.txt"
  cmp -s "$work/linux-$name.txt" "$work/win-$name.txt" ||
    fail "db-list $name differs: $(diff "$work/linux-$name.txt" "$work/win-$name.txt" | head -10)"
  ok "db-list $name: the same $(wc -l <"$work/win-$name.txt") lines as on Linux (CR LF line ends)"
done

# 4. probe on COM3 and on COM12: the probe reaches the instrument; the reply does not come back
# through Wine's serial emulation, so the outcome is the instrument's silence, within the time-out.
for com in 3 12; do
  sim_say "sim$com" received >/dev/null
  t0=$SECONDS
  run_cli "probe$com" probe --port "COM$com" --timeout 3
  took=$((SECONDS - t0))
  sent="$(sim_say "sim$com" received)"
  echo "$sent" | grep -qi '6C' || fail "probe COM$com: the instrument received '$sent'"
  code="$(cat "$work/probe$com.code")"
  if [ "$code" = 0 ]; then
    [ "$took" -le 20 ] || fail "probe COM$com took $took s"
    ok "probe --port COM$com: 'l' on the line ($sent), the instrument's answer read back: $(cat "$work/probe$com.out")"
  else
    [ "$code" = 1 ] || fail "probe COM$com exits $code: $(cat "$work/probe$com.err")"
    is_utf8 "$work/probe$com.err" && grep -q 'не отвечает' "$work/probe$com.err" ||
      fail "probe COM$com: $(cat "$work/probe$com.err")"
    [ "$took" -le 20 ] || fail "probe COM$com took $took s"
    ok "probe --port COM$com: 'l' on the line ($sent), instrument silent in $took s: $(cat "$work/probe$com.err")"
  fi
done

# 5. The window: starts on a virtual display, draws, probes, closes when asked.
export DISPLAY=:57
Xvfb "$DISPLAY" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 2
shots="$win/shots"
mkdir -p "$shots"
sim_say sim3 received >/dev/null
wine "$dist/kviro-service.exe" >"$work/service.log" 2>&1 &
service=$!
window=""
for _ in $(seq 60); do
  window="$(xdotool search --name 'КВИРО-сервис' 2>/dev/null | head -1 || true)"
  [ -n "$window" ] && break
  sleep 1
done
[ -n "$window" ] || fail "kviro-service.exe shows no window: $(tail -5 "$work/service.log")"
sleep 4
import -window "$window" "$shots/main.png"
sent="$(sim_say sim3 received)"
ok "kviro-service.exe draws its window"
echo "$sent" | grep -qi '6C' || fail "the window's link check sent no probe to the instrument ('$sent')"
ok "the window's link check probes the instrument ($sent)"
# taskkill without /f asks the window to close (WM_CLOSE), as the window's close button does.
wine taskkill /im kviro-service.exe >/dev/null 2>&1 || true
for _ in $(seq 20); do kill -0 "$service" 2>/dev/null || break; sleep 1; done
if kill -0 "$service" 2>/dev/null; then
  kill "$service" 2>/dev/null || true
  fail "kviro-service.exe did not close when asked to (WM_CLOSE)"
fi
wait "$service" || fail "kviro-service.exe ended with an error when closed"
ok "kviro-service.exe closes cleanly"
if [ "$shots_to_docs" = 1 ]; then
  mkdir -p "$here/docs/windows"
  cp "$shots"/*.png "$here/docs/windows/"
fi

# 6. The installer: silent install, the installed program starts, the uninstaller removes all.
setup="$(ls "$dist"/kviro-service-*-setup.exe)"
wine "$setup" /S || fail "the installer failed"
installed="$WINEPREFIX/drive_c/Program Files/KVIRO-service"
for _ in $(seq 30); do [ -f "$installed/Uninstall.exe" ] && break; sleep 1; done
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/КВИРО-сервис"
[ -f "$installed/kviro-service.exe" ] && [ -f "$installed/Uninstall.exe" ] && [ -f "$menu/КВИРО-сервис.lnk" ] ||
  fail "installed: $(ls "$installed" "$menu" 2>&1)"
[ ! -e "$installed/kviro-cli.exe" ] || fail "kviro-cli installed without being asked for"
wine "$installed/kviro-service.exe" --version >"$work/installed-version.txt" 2>&1 || true
grep -q 'КВИРО-сервис' "$work/installed-version.txt" || fail "the installed program: $(cat "$work/installed-version.txt")"
ok "silent install: the program, its Start-menu entry and the uninstaller; the installed program starts"
wine "$installed/Uninstall.exe" /S || fail "the uninstaller failed"
for _ in $(seq 20); do [ -e "$installed" ] || [ -e "$menu" ] || break; sleep 1; done
[ ! -e "$installed" ] && [ ! -e "$menu" ] || fail "left after uninstalling: $(find "$installed" "$menu" 2>/dev/null)"
ok "the uninstaller removes the program folder and the Start-menu entry"

echo "windows-wine-check: $pass checks passed"
