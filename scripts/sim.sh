#!/usr/bin/env bash
# Sends one command to the virtual instrument of a scripts/run.sh and prints its answer: the run
# that KVIRO_RUN names (its state folder, which run.sh prints), else the newest live run.
#   scripts/sim.sh help | mode loader | off | on stylus | B | ...
set -euo pipefail
alive() { [ -p "$1/control" ] && [ -f "$1/sim.pid" ] && kill -0 "$(cat "$1/sim.pid")" 2>/dev/null; }
state="${KVIRO_RUN:-}"
if [ -z "$state" ]; then
  for candidate in "${XDG_RUNTIME_DIR:-/tmp}"/kviro-run.*; do
    if alive "$candidate" && { [ -z "$state" ] || [ "$candidate" -nt "$state" ]; }; then state="$candidate"; fi
  done
fi
if [ -z "$state" ] || ! alive "$state"; then
  echo "sim: not running (start scripts/run.sh first)" >&2
  exit 1
fi
lines=$(wc -l <"$state/sim.log")
echo "$*" >"$state/control"
sleep 0.3
tail -n +"$((lines + 1))" "$state/sim.log"
