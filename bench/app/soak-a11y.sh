#!/usr/bin/env bash
# The soak under an accessibility bus, as a screen reader's desktop has it: a virtual X display,
# a D-Bus session with the accessibility bus and registry, and Qt's bridge switched on.
#   bench/app/soak-a11y.sh BUILD_DIR [SECONDS [bench_soak options...]]
set -euo pipefail
build="$1"
seconds="${2:-600}"
shift 2 || shift $#
extra="$*"
launcher=/usr/libexec/at-spi-bus-launcher
for tool in Xvfb dbus-run-session "$launcher"; do
  command -v "$tool" >/dev/null || { echo "soak-a11y: $tool is missing (packages xvfb, dbus, at-spi2-core)" >&2; exit 1; }
done
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY="$display" QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0 \
  dbus-run-session -- bash -c "'$launcher' --launch-immediately & sleep 1; '$build/bench/app/bench_soak' --seconds '$seconds' $extra"
