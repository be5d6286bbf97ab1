#!/usr/bin/env bash
# Starts the projector simulator as port 1 and the console on it, with a
# settings directory of its own so the user's settings are never touched.
# Closing the console stops the simulator.
set -euo pipefail

build=$(cd "${1:-$(dirname "$0")/../build}" && pwd)
bin="$build/bin"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: run the demo under a virtual one with  xvfb-run -a $0 $build" >&2
    command -v xvfb-run >/dev/null || echo "(xvfb-run comes with the packages xvfb and xauth)" >&2
    exit 1
fi

export XDG_CONFIG_HOME="$build/demo-config"
ini="$XDG_CONFIG_HOME/TAVO/TAVO.ini"
mkdir -p "$(dirname "$ini")"
if ! grep -q '^ComPort=' "$ini" 2>/dev/null; then
    printf '[StartUP]\nComPort=1\nBaudRate=96\n' >"$ini"
fi

"$bin/mx7300-sim" --register 1 --baud 9600 --warmup 5 --cooldown 5 >"$XDG_CONFIG_HOME/simulator.log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT

for _ in $(seq 100); do
    grep -q '^COM1=' "$ini" 2>/dev/null && break
    kill -0 "$sim" 2>/dev/null || { cat "$XDG_CONFIG_HOME/simulator.log" >&2; exit 1; }
    sleep 0.1
done

echo "Simulated projector on $(head -n1 "$XDG_CONFIG_HOME/simulator.log") as COM1; settings in $ini"
"$bin/mx7300-control"
