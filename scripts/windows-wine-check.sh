#!/usr/bin/env bash
# Runs the Windows programs made by scripts/windows-build.sh under Wine, in a throw-away prefix,
# against the virtual instrument: COM3 (and COM12) of the prefix are mapped to its
# pseudo-terminals through HKLM\Software\Wine\Ports, so the programs find them in
# HARDWARE\DEVICEMAP\SERIALCOMM as on Windows. Checks kviro-cli.exe (texts on a console and
# redirected, ports, db-list against the Linux program, probe, and the whole jobs through Debian's
# ser2net and through COM3, byte for byte against the Linux program, a dropped connection),
# kviro-service.exe (starts, probes, reaches the instrument through ser2net and runs a job there,
# draws every page, sees the connection drop, closes) and the installer round trip. Screenshots of
# the window go to OUT_DIR/shots (scripts/windows-wine-check.sh --shots copies them into
# docs/windows/).
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
  bsdextrautils unzip ser2net

for f in kviro-cli.exe kviro-service.exe; do
  [ -f "$dist/$f" ] || { echo "windows-wine-check: $dist/$f missing (run scripts/windows-build.sh)" >&2; exit 1; }
done
cmake --build "$linux" --target kviro-sim kviro-cli kviro-bdts-gen >/dev/null
sim_bin="$linux/sim/kviro-sim"
cli_linux="$linux/src/cli/kviro-cli"

work="$(mktemp -d "${TMPDIR:-/tmp}/kviro-wine-check.XXXXXX")"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=" WINEARCH=win64
# A Russian Windows: ANSI code page 1251, console (OEM) code page 866. Wine takes it from the
# locale, which must exist for its console to show Cyrillic on the terminal.
if ! locale -a 2>/dev/null | grep -ix 'ru_RU.utf8' >/dev/null; then
  install_missing windows-wine-check locales
  localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
export LANG=ru_RU.UTF-8 LC_ALL=
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  [ -n "${KEEP_WORK:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT

pass=0
ok() { echo "ok   $*"; pass=$((pass + 1)); }
fail() { echo "FAIL $*" >&2; exit 1; }

# The virtual instruments: COM3 (the one the programs use) and COM12 (the \\.\ form).
# The instrument's pseudo-terminal can change when it is switched off and on (a firmware load
# restarts it); the port folder's link COM<n> always names the current one, and Wine and ser2net
# are given that link.
start_sim() { # NAME COM; sets sim_pty to its pseudo-terminal, sim_link to the link to it
  local name=$1 com=$2 fd
  mkfifo "$work/$name.ctl"
  "$sim_bin" --folder "$work/ports-$name" --com "$com" <"$work/$name.ctl" >"$work/$name.out" 2>&1 &
  pids+=($!)
  exec {fd}>"$work/$name.ctl"
  eval "${name}_fd=$fd"
  for _ in $(seq 50); do grep -q ' -> ' "$work/$name.out" 2>/dev/null && break; sleep 0.1; done
  sim_pty="$(sed -n 's/.* -> //p' "$work/$name.out" | head -1)"
  sim_link="$work/ports-$name/COM$com"
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
link3="$sim_link"
start_sim sim12 12
pty12="$sim_pty"
link12="$sim_link"
[ -n "$pty3" ] && [ -n "$pty12" ] || fail "the virtual instrument did not start: $(cat "$work"/*.out)"

wine wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot: $(tail -5 "$work/wineboot.log")"
# Wine lists the machine's /dev/ttyS* too, from COM1 on, unless COM1 is taken: those devices have
# no UART behind them here, and a port that fails half-way blocks the program under Wine (see
# README). COM1 goes to the same instrument, so the window's port search, which takes the first
# listed port that opens, finds it first.
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$link3" /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM3 /t REG_SZ /d "$link3" /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM12 /t REG_SZ /d "$link12" /f >/dev/null 2>&1
# COM20 is above the ports the programs use: it must be named with the reason, not lost.
wine reg add 'HKLM\Software\Wine\Ports' /v COM20 /t REG_SZ /d "$link12" /f >/dev/null 2>&1
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
  echo "$sent" | grep -i '6C' >/dev/null || fail "probe COM$com: the instrument received '$sent'"
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

# 5. Whole jobs through Debian's ser2net in front of COM3's instrument (raw TCP and Telnet with
# the COM port control option, on 127.0.0.1 only) and through COM3 itself: each file the Windows
# program writes or puts into the instrument is byte for byte what the Linux program makes on the
# same instrument state (a database written from a sample and read back, the optical density
# table, the protocol) or the file itself (a firmware image through the boot loader).
ser2net_bin="$(command -v ser2net || echo /usr/sbin/ser2net)"
free_ports="$(python3 -c 'import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')"
read -r raw_port telnet_port <<<"$free_ports"
cat >"$work/ser2net.yaml" <<EOF
%YAML 1.1
---
connection: &raw
  accepter: tcp(nodelay),127.0.0.1,$raw_port
  connector: serialdev,$link3,115200n81,local
  options:
    kickolduser: true
    chardelay: false
connection: &telnet
  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1,$telnet_port
  connector: serialdev,$link3,115200n81,local
  options:
    kickolduser: true
    chardelay: false
EOF
ser2net_pid=""
start_ser2net() {
  "$ser2net_bin" -n -u -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >>"$work/ser2net.log" 2>&1 &
  ser2net_pid=$!
  pids+=("$ser2net_pid")
  local port
  for port in "$raw_port" "$telnet_port"; do
    for _ in $(seq 50); do
      timeout 1 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port" 2>/dev/null && continue 2
      sleep 0.1
    done
    fail "ser2net does not serve 127.0.0.1:$port: $(cat "$work/ser2net.log")"
  done
}
# Whether a connection to ser2net's raw TCP port is established (from /proc: no ss needed).
connected_to_raw() {
  awk -v port=":$(printf '%04X' "$raw_port")" 'toupper($3) ~ port"$" && $4 == "01" { found = 1 } END { exit !found }' \
    /proc/net/tcp
}
stop_ser2net() {
  kill "$ser2net_pid" 2>/dev/null || true
  wait "$ser2net_pid" 2>/dev/null || true
}
start_ser2net
raw="tcp://127.0.0.1:$raw_port"
telnet="rfc2217://127.0.0.1:$telnet_port"

jobs="$work/jobs"
mkdir -p "$jobs"
# A database whose names mix Latin and Cyrillic at one level ("IgA общий" beside "Краснуха"), so
# that any difference between the systems' orders of names shows in the files read back.
"$linux/src/bdts/kviro-bdts-gen" "$jobs/sample.bdts" --seed 7 --ts 40 >/dev/null
# A firmware image with every byte value in it, 0xFF (Telnet's escape) among them.
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 29 + (i >> 5)) & 255 for i in range(20000)))' >"$jobs/firmware.tsk"
# The Windows kviro-cli in the jobs folder, its working files (backups) there too.
run_job() { # NAME ARGS...
  local name=$1
  shift
  set +e
  (cd "$jobs" && timeout 120 wine "$cli" "$@" --work-dir . >"$work/$name.out" 2>"$work/$name.err")
  echo $? >"$work/$name.code"
  set -e
}
job_done() { # NAME WHAT
  [ "$(cat "$work/$1.code")" = 0 ] || fail "$2 exits $(cat "$work/$1.code"): $(cat "$work/$1.out" "$work/$1.err")"
}
same_file() { # EXPECTED GOT WHAT
  [ -f "$2" ] || fail "$3: no file $(basename "$2")"
  cmp -s "$1" "$2" || fail "$3: $(cmp "$1" "$2" 2>&1) ($(stat -c %s "$1") and $(stat -c %s "$2") bytes)"
}
linux_job() { # ARGS...: the Linux kviro-cli on COM3's instrument
  (cd "$jobs" && KVIRO_SERIALCOMM="$work/ports-sim3" timeout 120 "$cli_linux" "$@" --port COM3 --work-dir . \
    >>"$work/linux-jobs.log" 2>&1) || fail "the Linux kviro-cli $1: $(tail -3 "$work/linux-jobs.log")"
}
sim_say sim3 "boot program 200" >/dev/null
sim_say sim3 "boot restart 300" >/dev/null
sim_say sim3 "db-gen 1 2" >/dev/null
linux_job db-write sample.bdts
sim_say sim3 "db-save $jobs/written-linux.bdts" >/dev/null
linux_job db-read read-linux.bdts
sim_say sim3 "measure 7" >/dev/null
sim_say sim3 "protocol 12 03.04.11" >/dev/null
linux_job od od-linux.txt
linux_job protocol protocol-linux.txt
for port in "$raw" "$telnet" COM3; do
  tag="${port%%:*}"
  t0=$SECONDS
  sim_say sim3 "db-gen 1 2" >/dev/null
  run_job "write-$tag" db-write sample.bdts --port "$port"
  job_done "write-$tag" "db-write --port $port"
  sim_say sim3 "db-save $jobs/written-$tag.bdts" >/dev/null
  same_file "$jobs/written-linux.bdts" "$jobs/written-$tag.bdts" "db-write --port $port: the database the instrument holds"
  run_job "read-$tag" db-read "read-$tag.bdts" --port "$port"
  job_done "read-$tag" "db-read --port $port"
  same_file "$jobs/read-linux.bdts" "$jobs/read-$tag.bdts" "db-read --port $port"
  run_job "od-$tag" od "od-$tag.txt" --port "$port"
  job_done "od-$tag" "od --port $port"
  same_file "$jobs/od-linux.txt" "$jobs/od-$tag.txt" "od --port $port"
  run_job "protocol-$tag" protocol "protocol-$tag.txt" --port "$port"
  job_done "protocol-$tag" "protocol --port $port"
  same_file "$jobs/protocol-linux.txt" "$jobs/protocol-$tag.txt" "protocol --port $port"
  sim_say sim3 stylus >/dev/null
  # At the line's own speed: the instrument restarts only after the line has carried the image,
  # and the program takes a restart before that for a stream cut short.
  sim_say sim3 "rate 11520" >/dev/null
  run_job "flash-$tag" flash firmware.tsk --port "$port"
  sim_say sim3 "rate 0" >/dev/null
  job_done "flash-$tag" "flash --port $port"
  sim_say sim3 "boot image $jobs/flashed-$tag.bin" >/dev/null
  same_file "$jobs/firmware.tsk" "$jobs/flashed-$tag.bin" "flash --port $port: the image the boot loader received"
  status="$(sim_say sim3 "boot status")"
  echo "$status" | grep '; ok;' >/dev/null || fail "flash --port $port: the boot loader reports $status"
  ok "--port $port: db-write, db-read ($(stat -c %s "$jobs/read-$tag.bdts") bytes), od, protocol and flash byte for byte in $((SECONDS - t0)) s"
done

# A connection dropped mid-job (ser2net stopped during a 999-page read at the line's speed) ends
# the Windows job as a lost port, not as the instrument's silence, and writes no file.
sim_say sim3 "db-gen 3 40 999" >/dev/null
sim_say sim3 "rate 11520" >/dev/null
t0=$SECONDS
run_job lost db-read lost.bdts --port "$raw" &
job=$!
for _ in $(seq 120); do connected_to_raw && break; sleep 0.25; done
connected_to_raw || fail "the database read never connected to ser2net: $(cat "$work/lost.err")"
sleep 2
stop_ser2net
wait "$job" || true
took=$((SECONDS - t0))
sim_say sim3 "rate 0" >/dev/null
[ "$(cat "$work/lost.code")" = 1 ] || fail "a dropped connection: exit $(cat "$work/lost.code"): $(cat "$work/lost.out" "$work/lost.err")"
grep -q 'Порт отключен' "$work/lost.err" || fail "a dropped connection ends with: $(cat "$work/lost.err")"
[ ! -e "$jobs/lost.bdts" ] || fail "a dropped connection left lost.bdts behind"
ok "ser2net stopped mid-read: exit 1 in $took s, no file: $(cat "$work/lost.err")"
start_ser2net

# 6. The window: starts on a virtual display, draws, probes, runs a job through ser2net, draws
# every page, sees the connection drop, closes when asked. It runs from a folder of its own with
# the network instrument in network-ports.txt; working files and the journal go there too.
# A display of its own: Xvfb takes the first free number (other checks may run at the same time).
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")"
shots="$win/shots"
mkdir -p "$shots"
sim_say sim3 received >/dev/null
app="$work/app"
mkdir -p "$app"
cp "$dist/kviro-service.exe" "$app/"
printf 'Сервер ser2net = %s\n' "$raw" >"$app/network-ports.txt"
app_journal="$app/logs/$(date +%F).log"
(cd "$app" && exec wine kviro-service.exe >"$work/service.log" 2>&1) &
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
echo "$sent" | grep -i '6C' >/dev/null || fail "the window's link check sent no probe to the instrument ('$sent')"
ok "the window's link check probes the instrument ($sent)"

# Clicks at a point of the window (its client area, as the screenshots show it).
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
# Waits up to S seconds for a line with TEXT in the window's journal.
journal_says() { # TEXT S
  for _ in $(seq $(($2 * 4))); do grep -qF "$1" "$app_journal" 2>/dev/null && return 0; sleep 0.25; done
  return 1
}
green_shown() { # PNG: the link indicator's green is on it
  [ "$(convert "$1" -depth 8 txt:- | grep -ci '#28C83C')" -gt 20 ]
}
# The port drop-down (left of the indicator): its last item is the network instrument.
click 270 464
sleep 1
xdotool key End Return
journal_says "Порт $raw открыт." 15 || fail "the window did not open $raw: $(tail -5 "$app_journal")"
sim_say sim3 received >/dev/null
sleep 3
sent="$(sim_say sim3 received)"
import -window "$window" "$work/network.png"
echo "$sent" | grep -i '6C' >/dev/null && green_shown "$work/network.png" ||
  fail "the link check through ser2net: the instrument received '$sent'; $(tail -3 "$app_journal")"
connected_to_raw || fail "no connection to ser2net: $(cat /proc/net/tcp)"
ok "the window's link check through ser2net: probes arrive, the indicator is green"
# A whole job without a hand on the window: the instrument measures a plate (notice G), the
# window fetches the table through ser2net, the instrument asks for it to be saved under its name.
sim_say sim3 "measure 7" >/dev/null
journal_says "Приём таблицы оптических плотностей: конец — Оптические плотности приняты. Порт $raw." 20 ||
  fail "the window did not fetch the table: $(tail -5 "$app_journal")"
sim_say sim3 save >/dev/null
for _ in $(seq 40); do [ -f "$app/20110403_153000.txt" ] && break; sleep 0.25; done
same_file "$jobs/od-linux.txt" "$app/20110403_153000.txt" "the table the window saved on the instrument's request"
ok "the window fetched the table through ser2net and saved it as the instrument asked: the Linux program's bytes"
# Every page, through the group bar on the left.
for page in "firmware 19 140" "database 58 161" "reader 80 216" "results 48 237"; do
  read -r name x y <<<"$page"
  click "$x" "$y"
  sleep 2
  import -window "$window" "$shots/$name.png"
done
for name in firmware database reader results; do
  [ -s "$shots/$name.png" ] || fail "no screenshot of the page $name"
done
click 53 64
ok "every page drawn (screenshots: main firmware database reader results)"
# ser2net goes away: the window notices at once, as for an unplugged adapter.
stop_ser2net
journal_says "Связь через порт $raw потеряна" 10 || fail "the window did not notice ser2net stop: $(tail -5 "$app_journal")"
ok "ser2net stopped: the window journals the connection as lost"
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

# 7. The installer: silent install, the installed program starts, the uninstaller removes all.
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
