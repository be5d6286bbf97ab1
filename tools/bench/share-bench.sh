#!/usr/bin/env bash
# A gateway's share on loopback, written into the "Through a gateway's share" section of
# docs/benchmarks.md (replacing that section where it stands, leaving the rest), raw figures in
# docs/bench/share.txt and docs/bench/share.csv. Run by hand or by run-benchmarks.sh, never by
# ctest:
#   tools/bench/share-bench.sh [BUILD_DIR]
# SAMPLES (default 1000) rounds of each series; BENCH_SESSION_NICE as for run-benchmarks.sh.
set -euo pipefail

# shellcheck source=tools/bench/session.sh
source "$(dirname "$0")/session.sh"
own_session "$@"
session_note=""
if [ -n "$session_nice" ]; then
    session_note=" The run had a session of its own at group nice $BENCH_SESSION_NICE ($session_nice)."
fi

here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
samples=${SAMPLES:-1000}

# shellcheck source=tools/bench/display.sh
source "$here/tools/bench/display.sh"

cmake -S "$here" -B "$build" -DTAVO_BENCHMARKS=ON -DTAVO_GATEWAY=ON >/dev/null
cmake --build "$build" -j2 --target mx7300-bench mx7300-gateway >/dev/null
docs="$here/docs"
raw="$docs/bench"
mkdir -p "$raw"
load_before=$(busy)
XDG_CONFIG_HOME=$(mktemp -d) "$build/bin/mx7300-bench" share "$raw" "$build/bin/mx7300-gateway" \
    "$samples" 2>/dev/null | tee "$raw/share.txt"
load_after=$(busy)

declare -A v
while IFS='=' read -r key value; do
    [[ $key =~ ^[a-z_0-9]+$ ]] && v[$key]=$value
done <"$raw/share.txt"

ms() { awk -v x="$1" 'BEGIN { printf "%.3f", x / 1000 }'; }
below() { # VALUE LIMIT
    awk -v x="$1" -v y="$2" 'BEGIN { print (x < y) ? "met" : "**missed**" }'
}
row() { # LABEL SERIES [TARGET VERDICT]
    echo "| $1 | $(ms "${v[$2_p50_us]}") ms | $(ms "${v[$2_p99_us]}") ms | $(ms "${v[$2_max_us]}") ms | ${3:-} | ${4:-} |"
}
p50_gap=$(awk -v a="${v[share_click_to_wire_p50_us]}" -v b="${v[share_tcp_click_to_wire_p50_us]}" \
    'BEGIN { print a - b }')
p99_gap=$(awk -v a="${v[share_click_to_wire_p99_us]}" -v b="${v[share_tcp_click_to_wire_p99_us]}" \
    'BEGIN { print a - b }')

section=$(cat <<EOF2
## Through a gateway's share ($samples commands each, after 50 unrecorded)

Measured by \`tools/bench/share-bench.sh\` (\`mx7300-bench share\`) on $(date -u '+%Y-%m-%d %H:%M UTC'),
$display.$session_note
Load before: $load_before.
Load after: $load_after.

A real \`mx7300-gateway\` holds a pseudo-terminal (the projector's end is the benchmark's) with
\`--share 127.0.0.1:PORT --poll 3600\`: its first poll is answered before anything is measured,
so the line is idle throughout. Each command is acknowledged (ACK) at the projector's end and
the acknowledgement read by its client before the next. The command is \`C1E\` (the third
one-shot button): after "On" the gateway reads the projector again, which is not what this
measures. The benchmark sleeps in \`poll()\` while it waits for the far end, since the gateway
and ser2net need a core to pass the bytes on.

| Figure | p50 | p99 | max | Target | |
|---|---|---|---|---|---|
$(row "raw client: its command's last byte written (\`send\` returned) until the first byte is readable on the line" share_write_to_wire "p99 < 1 ms" "$(below "${v[share_write_to_wire_p99_us]}" 1000)")
$(row "the console: click until the first byte is readable on the line, through the share" share_click_to_wire)
$(row "the console: the same click through ser2net's raw TCP port (\`chardelay\` off), same machine" share_tcp_click_to_wire)
| the share's click-to-wire less ser2net's | $(ms "$p50_gap") ms | $(ms "$p99_gap") ms | | p99 within 1 ms | $(below "$p99_gap" 1000) |

CSV: \`docs/bench/share.csv\` (microseconds; one row per sample of each series).
EOF2
)

md="$docs/benchmarks.md"
write_section "$md" "Through a gateway's share" "$section"
echo "wrote the share section of $md"
