#!/usr/bin/env bash
# mx7300-ctl on whole sites of simulated projectors: the wall time of one `status` run.
#   tools/bench/ctl-bench.sh [BUILD_DIR]
# PROJECTORS (32) simulators, each on its own pseudo-terminal, served by one ser2net on loopback
# (raw TCP); the same site straight on the pseudo-terminals; and the site of 8 with one silent
# projector and a 1 s reply time-out. RUNS (20) runs each. Writes the section "mx7300-ctl" of
# docs/benchmarks.md (replacing an earlier one) and docs/bench/ctl.txt. Run by hand, never by ctest.
set -euo pipefail

here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
projectors=${PROJECTORS:-32}
runs=${RUNS:-20}
command -v ser2net >/dev/null || { echo "ser2net is missing (./setup.sh installs it)" >&2; exit 1; }

cmake --build "$build" -j2 --target mx7300-ctl mx7300-sim >/dev/null
ctl="$build/bin/mx7300-ctl"
sim="$build/bin/mx7300-sim"

work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Starts a simulator and sets $device to its pseudo-terminal. Not in a subshell, so that
# its process id is kept for the clean-up.
start_sim() {
    local out="$work/sim$1.out"
    shift
    "$sim" --quiet --baud 9600 "$@" >"$out" 2>/dev/null &
    pids+=($!)
    for _ in $(seq 100); do
        [ -s "$out" ] && break
        sleep 0.05
    done
    device=$(head -1 "$out")
}

free_ports() {
    python3 - "$1" <<'PY'
import socket, sys
socks = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in socks:
    s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in socks))
PY
}

devices=()
for i in $(seq "$projectors"); do
    start_sim "$i"
    devices+=("$device")
done
read -r -a ports <<<"$(free_ports "$projectors")"

{
    echo "%YAML 1.1"
    echo "---"
    for i in "${!devices[@]}"; do
        echo "connection: &p$i"
        echo "  accepter: tcp,127.0.0.1,${ports[$i]}"
        echo "  connector: serialdev,${devices[$i]},9600n81,local"
    done
} >"$work/ser2net.yaml"
ser2net -n -d -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >/dev/null 2>&1 &
pids+=($!)
for port in "${ports[@]}"; do
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
        sleep 0.05
    done
done

: >"$work/net.ini"
: >"$work/pty.ini"
for i in "${!devices[@]}"; do
    printf '[p%02d]\nport=tcp://127.0.0.1:%s\n' "$i" "${ports[$i]}" >>"$work/net.ini"
    printf '[p%02d]\nport=%s\n' "$i" "${devices[$i]}" >>"$work/pty.ini"
done
# Eight: two lines shared by two addresses each, three lines of their own, one silent line.
start_sim silent --silent
silent=$device
start_sim s1 --address 001
shared1=$device
start_sim s2 --address 002
shared2=$device
cat >"$work/eight.ini" <<INI
[a]
port=$shared1
[b]
port=$shared1
address=001
[c]
port=$shared2
address=all
[d]
port=$shared2
address=002
[e]
port=${devices[0]}
[f]
port=${devices[1]}
[g]
port=${devices[2]}
[h]
port=$silent
INI

raw="$here/docs/bench/ctl.txt"
mkdir -p "$(dirname "$raw")"
: >"$raw"

# Runs the site RUNS times; prints "median min max" in milliseconds. Every run must end with
# the expected status and summary, or the figures mean nothing.
measure() {
    local label=$1 site=$2 want_status=$3 want_summary=$4
    shift 4
    local times=()
    for _ in $(seq "$runs"); do
        local start end status=0
        start=$(date +%s%N)
        "$ctl" --site "$site" --all --baud 9600 "$@" status >"$work/out" 2>&1 || status=$?
        end=$(date +%s%N)
        if [ "$status" != "$want_status" ] || ! grep -qx "$want_summary" "$work/out"; then
            echo "$label: exit $status, expected $want_status and \"$want_summary\":" >&2
            cat "$work/out" >&2
            exit 1
        fi
        times+=($(((end - start) / 1000)))
    done
    echo "$label: ${times[*]} (microseconds)" >>"$raw"
    printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END {
        printf "%.1f %.1f %.1f\n", t[int((NR + 1) / 2)] / 1000, t[1] / 1000, t[NR] / 1000 }'
}

read -r net_med net_min net_max <<<"$(measure "ser2net" "$work/net.ini" 0 "$projectors ok, 0 no reply, 0 failed")"
read -r pty_med pty_min pty_max <<<"$(measure "pty" "$work/pty.ini" 0 "$projectors ok, 0 no reply, 0 failed")"
read -r eight_med eight_min eight_max <<<"$(measure "eight" "$work/eight.ini" 1 "7 ok, 1 no reply, 0 failed" --timeout 1000)"
verdict() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b) ? "met" : "**missed**" }'; }

section=$(cat <<MD
## mx7300-ctl: whole sites at once

\`tools/bench/ctl-bench.sh\` on $(date -u '+%Y-%m-%d %H:%M') UTC: the wall time of one
\`mx7300-ctl --site FILE --all status\` run, process start to exit, ${runs} runs each, every run
checked for its exit status and summary line. The projectors are \`mx7300-sim\` processes on
pseudo-terminals, which deliver at memory speed: a real line adds one exchange's wire time
(about 10 ms at 9600 baud), once, since the ports run at the same time. Opening a local device
takes a lock file and sets the line up, one port after another, which is why the direct run is
the slower one. Load average at the end:
$(cut -d' ' -f1-3 /proc/loadavg). Raw times: \`docs/bench/ctl.txt\`.

| Site | median | min | max | Target | |
|---|---|---|---|---|---|
| ${projectors} projectors over ser2net on loopback (raw TCP), one port each | ${net_med} ms | ${net_min} ms | ${net_max} ms | | |
| the same ${projectors} on their pseudo-terminals directly | ${pty_med} ms | ${pty_min} ms | ${pty_max} ms | | |
| 8 projectors, two pairs sharing a line by address, one silent, 1000 ms time-out | ${eight_med} ms | ${eight_min} ms | ${eight_max} ms | < 1500 ms | $(verdict "$eight_max" 1500) |
MD
)

doc="$here/docs/benchmarks.md"
python3 - "$doc" "$section" <<'PY'
import re, sys
path, section = sys.argv[1], sys.argv[2].rstrip() + "\n"
text = open(path).read()
pattern = re.compile(r"\n## mx7300-ctl: .*?(?=\n## |\Z)", re.S)
text = pattern.sub("", text).rstrip() + "\n\n" + section
open(path, "w").write(text)
PY
echo "wrote the mx7300-ctl section of $doc"
