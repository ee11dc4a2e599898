#!/usr/bin/env bash
# The idle program: the GUI on the virtual instrument with the link check running.
# Prints the program's CPU share of one core and its resident memory.
#   bench/link/idle.sh BUILD_DIR [SECONDS]
set -euo pipefail
build="$1"
seconds="${2:-60}"
work="$(mktemp -d)"
trap 'kill $sim $app 2>/dev/null || true; rm -rf "$work"' EXIT
export KVIRO_SERIALCOMM="$work/ports"
mkfifo "$work/ctl"
exec 3<>"$work/ctl"
"$build/sim/kviro-sim" --folder "$KVIRO_SERIALCOMM" --com 3 <&3 >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$KVIRO_SERIALCOMM/COM3" ] && break; sleep 0.1; done
QT_QPA_PLATFORM=offscreen "$build/src/app/kviro-service" >/dev/null 2>&1 &
app=$!
sleep 3 # start-up is not idling
ticks() { awk '{print $14 + $15}' "/proc/$app/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks)
start=$(date +%s.%N)
sleep "$seconds"
t1=$(ticks)
end=$(date +%s.%N)
rss_kib=$(awk '/VmRSS/ {print $2}' "/proc/$app/status")
hwm_kib=$(awk '/VmHWM/ {print $2}' "/proc/$app/status")
probes=$(grep -c . "$work/sim.log" || true)
awk -v t0="$t0" -v t1="$t1" -v hz="$hz" -v s="$start" -v e="$end" -v rss="$rss_kib" -v hwm="$hwm_kib" 'BEGIN {
  cpu = (t1 - t0) / hz / (e - s) * 100;
  printf "idle link check: %.1f s, CPU %.2f %% of one core (target < 1 %%), resident %.1f MiB (peak %.1f MiB, target < 60 MiB)\n", e - s, cpu, rss / 1024, hwm / 1024
}'
