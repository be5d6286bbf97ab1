#!/usr/bin/env bash
# Line noise and network port faults, written into the "Line noise" section of docs/benchmarks.md
# (replacing that section where it stands, leaving the rest), raw figures in
# docs/bench/line-noise.txt. Run by hand or by run-benchmarks.sh, never by ctest:
#   tools/bench/noise-bench.sh [BUILD_DIR]
# FLOOD_SECONDS (default 60) of noise idle and again with ZOOM up held.
set -euo pipefail

here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
flood_seconds=${FLOOD_SECONDS:-60}

# shellcheck source=tools/bench/session.sh
source "$here/tools/bench/session.sh"
# shellcheck source=tools/bench/display.sh
source "$here/tools/bench/display.sh"

cmake --build "$build" -j2 --target mx7300-bench >/dev/null
docs="$here/docs"
raw="$docs/bench"
mkdir -p "$raw"
load_before="load average $(cut -d' ' -f1-3 /proc/loadavg)"
XDG_CONFIG_HOME=$(mktemp -d) TAVO_FLOOD_SECONDS=$flood_seconds "$build/bin/mx7300-bench" noise \
    2>/dev/null | tee "$raw/line-noise.txt"
load_after="load average $(cut -d' ' -f1-3 /proc/loadavg)"

declare -A v
while IFS='=' read -r key value; do
    [[ $key =~ ^[a-z_0-9]+$ ]] && v[$key]=$value
done <"$raw/line-noise.txt"

below() { # VALUE LIMIT
    awk -v x="$1" -v y="$2" 'BEGIN { print (x < y) ? "met" : "**missed**" }'
}
ms() { awk -v x="$1" 'BEGIN { printf "%.3f", x / 1000 }'; }
idle_growth=$((v[noise_idle_rss_after_kb] - v[noise_idle_rss_before_kb]))
held_growth=$((v[noise_hold_rss_after_kb] - v[noise_hold_rss_before_kb]))
held_seconds=$((flood_seconds < 60 ? flood_seconds : 60))
decoded=no
[ "${v[noise_reply_decoded]}" = 1 ] && decoded=yes
if [ -n "${v[lost_server_cpu_ms]:-}" ]; then
    lost_row="| CPU in the second after the ser2net daemon under an open rfc2217:// port was killed | ${v[lost_server_cpu_ms]} ms | < 300 ms | $(below "${v[lost_server_cpu_ms]}" 300) |"
else
    lost_row="| CPU after the ser2net daemon was killed | not measured: ser2net is not installed | < 300 ms | |"
fi

section=$(cat <<EOF2
## Line noise (${flood_seconds} s at the 19200-baud rate)

Measured by \`tools/bench/noise-bench.sh\` (\`mx7300-bench noise\`) on $(date -u '+%Y-%m-%d %H:%M UTC'),
$display;
$load_before before, $load_after after.
Random bytes written to the projector's end at 1920 bytes a second, then a 256 KiB burst at memory speed, through the real adapter and window;
"On" clicked once a second by posting the press and release. The tests (\`tst_pty_console\`)
check the same behaviour for 2.5 s without these figures. Raw lines: \`docs/bench/line-noise.txt\`.

| Figure | Measured | Target | |
|---|---|---|---|
| resident set growth, console idle, "On" clicked once a second | ${idle_growth} KiB (${v[noise_idle_rss_before_kb]} to ${v[noise_idle_rss_after_kb]}) | < 1024 KiB | $(below "$idle_growth" 1024) |
| resident set growth, ZOOM up held throughout (${held_seconds} s) | ${held_growth} KiB (${v[noise_hold_rss_before_kb]} to ${v[noise_hold_rss_after_kb]}) | < 1024 KiB | $(below "$held_growth" 1024) |
| repeats sent while held / other bytes sent | ${v[noise_hold_repeats]} / ${v[noise_hold_other_bytes]} | about $((held_seconds * 10)) / 0 | |
| click to the line during the flood: median / slowest of ${v[noise_clicks]} | $(ms "${v[noise_click_p50_us]}") ms / $(ms "${v[noise_click_max_us]}") ms | < 50 ms | $(below "${v[noise_click_max_us]}" 50000) |
| the next real reply decodes once the noise stops | ${decoded} | yes | |

Network port faults on loopback, same run:

| Figure | Measured | Target | |
|---|---|---|---|
| rfc2217:// open on a server that never answers: wait until the time-out / 20 ms ticks meanwhile | ${v[open_wait_ms]} ms / ${v[open_wait_ticks]} | | |
| longest gap between those ticks (the event loop turning while the open waits) | ${v[open_wait_longest_gap_ms]} ms | < 100 ms | $(below "${v[open_wait_longest_gap_ms]}" 100) |
$lost_row
EOF2
)

md="$docs/benchmarks.md"
write_section "$md" "Line noise" "$section"
echo "wrote the Line noise section of $md"
