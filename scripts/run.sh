#!/usr/bin/env bash
# Set-up, build what a run needs (the program and the virtual instrument), then start КВИРО-сервис.
# With no real serial adapter (or with --sim) a virtual СОРВИНТ of this run's own is started beside
# it on a pseudo-terminal; send it commands with scripts/sim.sh. Several runs side by side each have
# their own state folder and instrument.
#   scripts/run.sh [--sim|--real]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"
# Runs started together take turns at the build, so none starts a program still being linked.
mkdir -p "$build"
KVIRO_TARGETS="kviro-service kviro-sim" flock "$build/.run-build.lock" "$here/scripts/setup.sh" "$build"

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

# This run's own folder: its port folder, the instrument's control fifo and log, and its process id
# (scripts/sim.sh finds the newest live run, or the one KVIRO_RUN names).
state="$(mktemp -d "${XDG_RUNTIME_DIR:-/tmp}/kviro-run.XXXXXX")"
export KVIRO_SERIALCOMM="$state/ports"
mkdir "$KVIRO_SERIALCOMM"
mkfifo "$state/control"
# The fifo stays open for writing so the simulator keeps reading commands.
exec 3<>"$state/control"
"$build/sim/kviro-sim" --folder "$KVIRO_SERIALCOMM" --com 3 <&3 >"$state/sim.log" 2>&1 &
sim=$!
echo "$sim" >"$state/sim.pid"
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -rf "$state"' EXIT
for _ in $(seq 50); do [ -e "$KVIRO_SERIALCOMM/COM3" ] && break; sleep 0.1; done
[ -e "$KVIRO_SERIALCOMM/COM3" ] || { echo "run: the virtual instrument did not start:" >&2; cat "$state/sim.log" >&2; exit 1; }
echo "run: virtual instrument on COM3 ($state); control it with scripts/sim.sh help"
echo "run: beside other runs: KVIRO_RUN=$state scripts/sim.sh help"
launch "$build/src/app/kviro-service"
