#!/usr/bin/env bash
# Set-up, build, then start КВИРО-сервис. With no real serial adapter (or with --sim) the virtual
# СОРВИНТ is started beside it on a pseudo-terminal; send it commands with scripts/sim.sh.
#   scripts/run.sh [--sim|--real]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"
"$here/scripts/setup.sh" "$build"

mode="${1:-auto}"
if [ "$mode" = auto ]; then
  if ls /dev/ttyUSB* /dev/ttyACM* >/dev/null 2>&1; then mode=--real; else mode=--sim; fi
fi

launch() {
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then "$@"; else
    echo "run: no display; starting under xvfb-run (nothing will be visible)" >&2
    xvfb-run -a "$@"
  fi
}

if [ "$mode" = --real ]; then
  launch "$build/src/app/kviro-service"
  exit
fi

state="${XDG_RUNTIME_DIR:-/tmp}/kviro-sim-$(id -u)"
mkdir -p "$state"
export KVIRO_SERIALCOMM="$state/ports"
rm -rf "$KVIRO_SERIALCOMM" "$state/control"
mkfifo "$state/control"
# The fifo stays open for writing so the simulator keeps reading commands.
exec 3<>"$state/control"
"$build/sim/kviro-sim" --folder "$KVIRO_SERIALCOMM" --com 3 <&3 >"$state/sim.log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true; rm -f "$state/control"' EXIT
for _ in $(seq 50); do [ -e "$KVIRO_SERIALCOMM/COM3" ] && break; sleep 0.1; done
echo "run: virtual instrument on COM3 ($KVIRO_SERIALCOMM); control it with scripts/sim.sh help"
launch "$build/src/app/kviro-service"
