#!/usr/bin/env bash
# mx7300-gateway's speed and scale on loopback: set/power to the wire (the line idle, and right
# behind the gateway's own state messages), a line change to its state message, a 200-projector
# site (CPU, memory, freshness, PJLink answers at a given question rate) and larger sites.
#   tools/bench/gateway-bench.sh [BUILD_DIR]
# GATEWAY_SAMPLES (300), GATEWAY_STATE_SAMPLES (100), GATEWAY_HOLD_SECONDS (60),
# GATEWAY_PJLINK_SECONDS (30), GATEWAY_PJLINK_RATE (1000: PJLink questions a second, spread over
# the 200 projectors), GATEWAY_REPLY_DELAY_MS (15) and GATEWAY_SIZES ("5000": projectors of the
# larger sites, four to a line) change the sizes; GATEWAY_BASE_BUILD names another build tree
# whose mx7300-gateway runs every part too, just before this tree's (same benchmark program, same
# rig), for figures side by side. BENCH_SESSION_NICE as for run-benchmarks.sh. The open-files
# limit is raised to its hard limit (a 5,000-projector site holds over 2,500 descriptors between
# the benchmark and the gateway). Writes the section "Gateway" of docs/benchmarks.md (replacing
# an earlier one) and docs/bench/gateway.txt with the CSV files beside it (the other build's in
# docs/bench/base/). Run by hand, never by ctest.
set -euo pipefail

# shellcheck source=tools/bench/session.sh
source "$(dirname "$0")/session.sh"
own_session "$@"
session_note=""
if [ -n "$session_nice" ]; then
    session_note=" This run had a session of its own at group nice $BENCH_SESSION_NICE (autogroup), so other sessions' processes took less of the cores."
fi
ulimit -n "$(ulimit -Hn)"

here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
samples=${GATEWAY_SAMPLES:-300}
state_samples=${GATEWAY_STATE_SAMPLES:-100}
hold=${GATEWAY_HOLD_SECONDS:-60}
pjlink=${GATEWAY_PJLINK_SECONDS:-30}
rate=${GATEWAY_PJLINK_RATE:-1000}
delay=${GATEWAY_REPLY_DELAY_MS:-15}
sizes=${GATEWAY_SIZES:-5000}
base=${GATEWAY_BASE_BUILD:-}
[ -n "$base" ] && base=$(cd "$base" && pwd)

raw="$here/docs/bench"
results="$raw/gateway.txt"
# pair NAME MODE ARGS...: the other build's gateway (figures prefixed base_), then this tree's.
pair() {
    local name=$1 mode=$2
    shift 2
    if [ -n "$base" ]; then
        echo "== base_$name: $(busy)" | tee -a "$results"
        MX7300_GATEWAY="$base/bin/mx7300-gateway" "$bench" "$mode" "$raw/base" "$@" \
            2> >(grep -v 'Unable to start mdns' >&2) | sed 's/^\([a-z]\)/base_\1/' | tee -a "$results" ||
            echo "base_${name}_failed=1" | tee -a "$results"
    fi
    echo "== $name: $(busy)" | tee -a "$results"
    "$bench" "$mode" "$raw" "$@" 2> >(grep -v 'Unable to start mdns' >&2) | tee -a "$results" ||
        echo "${name}_failed=1" | tee -a "$results"
}
load_of() { grep "^== $1:" "$results" | sed 's/^== [a-z0-9_]*: //' || true; }

# GATEWAY_REPORT_ONLY=1 writes the section again from the last run's docs/bench/gateway.txt.
if [ -z "${GATEWAY_REPORT_ONLY:-}" ]; then
    # GATEWAY_NO_BUILD=1 runs the programs as built (another build in the same tree is running).
    [ -z "${GATEWAY_NO_BUILD:-}" ] &&
        cmake --build "$build" -j2 --target mx7300-gateway-bench mx7300-gateway >/dev/null
    bench="$build/bin/mx7300-gateway-bench"
    mkdir -p "$raw/base"
    : >"$results"
    echo "open_files_limit=$(ulimit -n)" >>"$results"
    [ -n "$base" ] && echo "base_commit=$(git -C "$base/.." rev-parse --short HEAD 2>/dev/null || echo '?')" >>"$results"
    echo "commit=$(git -C "$here" rev-parse --short HEAD)" >>"$results"
    echo "started=$(date -u '+%Y-%m-%d %H:%M')" >>"$results"
    pair command command "$samples" 250 250 command
    pair command_behind command "$samples" 50 60 command_behind
    pair command_behind_nodelay command "$samples" 50 60 command_behind_nodelay nodelay
    pair state state "$state_samples" 1 0
    pair scale scale scale 50 4 10 "$hold" "$pjlink" "$delay" 5 "$rate"
    for n in $sizes; do
        pair "scale$n" scale "scale$n" $((n / 4)) 4 10 "$hold" 0 "$delay" 5
    done
    echo "finished=$(date -u '+%H:%M')" >>"$results"
    echo "== after: $(busy)" >>"$results"
fi
after=$(load_of after)
failed=$(grep -o '^[a-z0-9_]*_failed' "$results" | sed 's/_failed$//' | paste -sd, - | sed 's/,/, /g' || true)
failed_note=""
[ -n "$failed" ] && failed_note=" Parts that ended without their figures (the benchmark's reason is in its output): ${failed}; a dash marks a figure not measured."

declare -A v
while IFS='=' read -r key value; do
    [[ $key =~ ^[a-z_0-9]+$ ]] && v[$key]=$value
done <"$results"
verdict() {
    [ -z "$1" ] && { echo "not measured"; return; }
    awk -v x="$1" -v op="$2" -v y="$3" 'BEGIN {
        ok = (op == "<") ? x < y : (op == "<=") ? x <= y : (op == "==") ? x == y : 0
        print ok ? "met" : "**missed**" }'
}
ms() { [ -z "$1" ] && echo "–" || awk -v x="$1" 'BEGIN { printf "%.2f ms", x / 1000 }'; }
mib() { [ -z "$1" ] && echo "–" || awk -v x="$1" 'BEGIN { printf "%.1f MiB", x / 1024 }'; }
val() { echo "${v[$1]:-–}"; }
# both KEY FORMAT: "main / this tree" of one figure.
both() { echo "$($2 "${v[base_$1]:-}") / $($2 "${v[$1]:-}")"; }
plain() { [ -z "$1" ] && echo "–" || echo "$1"; }
pct() { [ -z "$1" ] && echo "–" || echo "$1 %"; }
us() { [ -z "$1" ] && echo "–" || echo "$1 µs"; }
sec() { # an age of 1e9 s stands for a projector offline at a probe
    [ -z "$1" ] && echo "–" && return
    awk -v x="$1" 'BEGIN { if (x >= 1e9) print "one offline at a probe"; else print x " s" }'
}
loads() { # NAME: the load beside the other build's run and this tree's
    echo "main: $(load_of "base_$1" | sed 's/; busiest.*//'); this tree: $(load_of "$1" | sed 's/; busiest.*//')"
}
cmdrow() { # TAG TEXT TARGET_US
    echo "| $2 (${v[gw_$1_count]:-–} samples each) | $(both "gw_$1_p50_us" ms) | $(both "gw_$1_p99_us" ms) | $(both "gw_$1_max_us" ms) | $3 | $(verdict "${v[gw_$1_p99_us]:-}" "<" "$4") | $(loads "$1") |"
}
sizerow() { # TAG
    local t=$1
    echo "| ${v[${t}_projectors]:-–} | ${v[${t}_ports]:-–} (${v[${t}_ser2net_ports]:-–} via ser2net) | $(both "${t}_discovery_configs" plain) in $(both "${t}_discovery_s" sec), $(both "${t}_discovery_cpu_percent" pct) | $(both "${t}_cpu_percent" pct) | $(both "${t}_cpu_us_per_exchange" us) | $(both "${t}_rss_kb" mib) | $(both "${t}_exchanges_per_s" plain) | $(both "${t}_oldest_state_s" sec) | $(both "${t}_min_available" plain) | $(loads "$t") |"
}
size_rows=$(sizerow scale)
for n in $sizes; do size_rows+=$'\n'$(sizerow "scale$n"); done
big=scale
for n in $sizes; do big=scale$n; done
big_n=${big#scale}
[ -z "$big_n" ] && big_n=200
section=$(cat <<MD
## Gateway

\`tools/bench/gateway-bench.sh\` on ${v[started]:-?} UTC (to ${v[finished]:-?}) with \`mx7300-gateway-bench\`:
mx7300-gateway as a process, a real mosquitto ($(mosquitto -h 2>/dev/null | head -1 | sed 's/^mosquitto //'),
Debian's defaults but for a loopback listener) and, as the projectors, pseudo-terminals held by
the benchmark, one thread answering on all of them with the simulator's own core
(\`tavo_sim_core\`): one to four projectors by address (001 to 004) behind each line. The
benchmark's MQTT client is libmosquitto with \`TCP_NODELAY\`, stamping messages on its network
thread. Each part ran twice in one run, first with main's gateway (${v[base_commit]:-not run}, built
from the same compiler in a tree of its own), then with this tree's (${v[commit]:-?}): figures are
"main / this tree". The gateway runs its event loop on epoll unless \`TAVO_EVENT_DISPATCHER=qt\`.
Whatever else ran on the machine, every figure carries it: the 1-minute load average and the
busiest other processes before each run are in \`docs/bench/gateway.txt\`, the load average
beside each figure (the first of the three numbers; two cores). Open-files limit for the run: ${v[open_files_limit]:-?}. Raw figures:
\`docs/bench/gateway.txt\` (main's prefixed \`base_\`); samples in \`docs/bench/gateway-*.csv\`
and \`docs/bench/scale*-pjlink.csv\` (microseconds), main's in \`docs/bench/base/\`.${session_note}
After the last part: $after.${failed_note}

| Figure | p50 | p99 | max | Target | this tree | load |
|---|---|---|---|---|---|---|
$(cmdrow command "MQTT \`set/power\` published until its command's first byte is readable on the line, the port idle" "p99 < 1 ms" 1000)
| the floor under it: the same message through the same broker between two plain clients, no gateway, at moments drawn the same way between those commands (${v[gw_command_floor_count]:-–} samples each) | $(both gw_command_floor_p50_us ms) | $(both gw_command_floor_p99_us ms) | $(both gw_command_floor_max_us ms) | | | |
$(cmdrow command_behind "the same, published 50 to 110 ms after the line's last byte (right behind the gateway's own state messages), the broker's defaults" "p99 < 5 ms" 5000)
$(cmdrow command_behind_nodelay "the same, the broker's listener with \`set_tcp_nodelay true\`" "p99 < 5 ms" 5000)
| the projector's power changed until the new \`state\` message reaches a subscriber, polled every 1 s (${v[gw_state_count]:-–} samples each) | $(both gw_state_p50_us ms) | $(both gw_state_p99_us ms) | $(both gw_state_max_us ms) | max < 1050 ms | $(verdict "${v[gw_state_max_us]:-}" "<" 1050000) | $(loads state) |

How these are taken. set/power: the gateway polls once an hour, so the line is quiet; each
command is published at a random moment of a window after the line's last byte, "on" and "off"
in turn, 10 unrecorded first. In the idle row the window is 250 to 500 ms (the reads that follow
a power command and their state message are over by then); in the next two it is 50 to 110 ms,
while the state message of those reads is on its way to the broker. State: the projector's model
is switched between standby and on at a random moment of the poll period (no warm-up), replies
at once; the figure runs to the first \`state\` message showing the new power. Its floor is the
wait for the next poll, so the mean is about half a period. The floor row is the part of the
idle path that is not the gateway's: a message through the same mosquitto between two plain
clients of the benchmark, sent at random idle moments between the gateway's commands;
whatever it shows at p99, no gateway behind that broker on this machine can show less.

**Nagle.** The gateway's own MQTT socket has \`TCP_NODELAY\` (libmosquitto's
\`MOSQ_OPT_TCP_NODELAY\`), so its state messages and acknowledgements leave at once. The
broker's side is the broker's: mosquitto's listeners leave \`set_tcp_nodelay\` off by default,
so a message to the gateway can wait while the broker's last small packet to it is
unacknowledged; the last two rows show the difference. A site that sends commands in bursts
wants that broker option.

### One gateway, many projectors (poll every 10 s, each reply ${delay} ms after its command)

Four projectors share each line, by address; every fifth line goes through a real ser2net
(raw TCP and RFC 2217 in turn, ser2net's defaults, one daemon per line). ${delay} ms stands for a
real 9600-baud line: "A001CR0" CR out and a short reply back are about 12 bytes, 12.5 ms of line
time, plus the projector's own turnaround. After the start the gateway sends Home Assistant
its discovery configs in paced batches (20 every 50 ms, each echoed back to its own
subscription, which is how it finds configs it no longer owns); "discovery" is how many reached
a subscriber and when the last did, counted from the gateway's start, and the CPU from every
projector read until then. The hold begins after that, so its figures are polling's. CPU is the
gateway's (all threads,
/proc/PID/task/*/schedstat) over ${hold} s after one whole period, with MQTT connected and HTTP
listening (and PJLink at 200 projectors); "per exchange" is that CPU over the line exchanges
counted at the projectors' end in the same time, HTTP probes and MQTT messages included. The
state's age is read from \`/api/projectors\` (now minus \`updated\`, the oldest projector)
about every 3.7 s, so the probes fall on every phase of the period; "online" is the fewest
available at any probe.

| Projectors | lines | discovery: configs in time, CPU | CPU of one core | CPU per exchange | resident set | exchanges/s | oldest state | online | load |
|---|---|---|---|---|---|---|---|---|---|
$size_rows

| Target | main | this tree | |
|---|---|---|---|
| PJLink: ${rate} questions a second over 200 projectors (asked: ${rate}; answered: $(both scale_pjlink_rate plain) a second), CPU < 5 % of one core | $(pct "${v[base_scale_pjlink_cpu_percent]:-}") | $(pct "${v[scale_pjlink_cpu_percent]:-}") | $(verdict "${v[scale_pjlink_cpu_percent]:-}" "<" 5) |
| PJLink: CPU per question (polling included) | $(us "${v[base_scale_pjlink_cpu_us_per_question]:-}") | $(us "${v[scale_pjlink_cpu_us_per_question]:-}") | |
| PJLink \`%1POWR ?\` written until the whole answer is read, p99 < 1 ms (p50 / p99 / max) | $(ms "${v[base_scale_pjlink_p50_us]:-}") / $(ms "${v[base_scale_pjlink_p99_us]:-}") / $(ms "${v[base_scale_pjlink_max_us]:-}") | $(ms "${v[scale_pjlink_p50_us]:-}") / $(ms "${v[scale_pjlink_p99_us]:-}") / $(ms "${v[scale_pjlink_max_us]:-}") | $(verdict "${v[scale_pjlink_p99_us]:-}" "<" 1000) |
| PJLink: none unanswered (answers, unanswered, wrong) | $(plain "${v[base_scale_pjlink_count]:-}"), $(plain "${v[base_scale_pjlink_unanswered]:-}"), $(plain "${v[base_scale_pjlink_wrong]:-}") | $(plain "${v[scale_pjlink_count]:-}"), $(plain "${v[scale_pjlink_unanswered]:-}"), $(plain "${v[scale_pjlink_wrong]:-}") | $(verdict "${v[scale_pjlink_unanswered]:-}" "==" 0) |
| polling ${big_n} projectors: CPU < 10 % of one core | $(pct "${v[base_${big}_cpu_percent]:-}") | $(pct "${v[${big}_cpu_percent]:-}") | $(verdict "${v[${big}_cpu_percent]:-}" "<" 10) |
| polling ${big_n} projectors: resident set < 256 MiB (peak) | $(mib "${v[base_${big}_peak_rss_kb]:-}") | $(mib "${v[${big}_peak_rss_kb]:-}") | $(verdict "${v[${big}_peak_rss_kb]:-}" "<" 262144) |
| polling ${big_n} projectors: every state at most one period + 1 s (11 s) old | $(sec "${v[base_${big}_oldest_state_s]:-}") | $(sec "${v[${big}_oldest_state_s]:-}") | $(verdict "${v[${big}_oldest_state_s]:-}" "<=" 11) |
| polling ${big_n} projectors: all online (fewest at any probe) | $(plain "${v[base_${big}_min_available]:-}") | $(plain "${v[${big}_min_available]:-}") | $(verdict "${v[${big}_min_available]:-}" "==" "${v[${big}_projectors]:-x}") |

PJLink load: $(loads scale). Every figure above was measured at the size given; none is
extrapolated to a larger site.

**What an exchange costs.** Qt's own event dispatcher hands the kernel every socket notifier's
descriptor on each wake-up of the event loop (\`poll\`), so every exchange and every PJLink
question paid for every port and socket of the site. The gateway's thread waits in \`epoll\`
instead: the kernel keeps the set, and a wake-up costs what is ready. On this machine every
system call also pays the hypervisor's interrupt enable, so an exchange costs about what its
system calls do; "Gateway profile" below counts them. Two bounds remain: every PJLink port is a descriptor, and a
systemd service starts with a soft limit of 1024 open files unless its unit raises
\`LimitNOFILE\` (ours does); and a projector that does not answer costs its line the 1 s reply
timeout each period (four silent projectors, 4 s of a 10 s period).
MD
)

doc="$here/docs/benchmarks.md"
write_section "$doc" "Gateway" "$section"
echo "wrote the gateway section of $doc"
