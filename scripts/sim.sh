#!/usr/bin/env bash
# Sends one command to the virtual instrument started by scripts/run.sh and prints its answer.
#   scripts/sim.sh help | mode loader | off | on stylus | B | ...
set -euo pipefail
state="${XDG_RUNTIME_DIR:-/tmp}/kviro-sim-$(id -u)"
[ -p "$state/control" ] || { echo "sim: not running (start scripts/run.sh first)" >&2; exit 1; }
lines=$(wc -l <"$state/sim.log")
echo "$*" >"$state/control"
sleep 0.3
tail -n +"$((lines + 1))" "$state/sim.log"
