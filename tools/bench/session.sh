# Sourced by the benchmark scripts: what else the machine is doing, and a session of its own.

# own_session "$@": with BENCH_SESSION_NICE set (root only), the calling script runs again in a
# session of its own whose scheduling group gets that nice value, so other sessions' load takes
# less of the cores. Afterwards session_nice holds the group's nice as the kernel reports it, or
# is empty when the run has no session of its own.
own_session() {
    session_nice=""
    if [ -n "${BENCH_SESSION_NICE:-}" ] && [ -z "${TAVO_BENCH_OWN_SESSION:-}" ]; then
        export TAVO_BENCH_OWN_SESSION=1
        exec setsid -w "$0" "$@"
    fi
    if [ -n "${TAVO_BENCH_OWN_SESSION:-}" ]; then
        echo "$BENCH_SESSION_NICE" >/proc/self/autogroup
        session_nice=$(cat /proc/self/autogroup)
    fi
}

# The load average and the busiest processes: the figures are only as quiet as the machine.
busy() {
    echo "load average $(cut -d' ' -f1-3 /proc/loadavg); busiest other processes:" \
        "$(ps -eo ni,pcpu,comm --sort=-pcpu --no-headers | head -3 |
            awk '{printf "%s%s (nice %s, %s%% CPU)", sep, $3, $1, $2; sep=", "}')"
}

# write_section MD HEADING SECTION: SECTION, which starts with its "## HEADING" line, in place of
# MD's section of that heading (up to the next "## " heading), or at MD's end when it has none. A
# heading is matched whole or followed by " (", so "Gateway" is not "Gateway profile".
write_section() {
    local md=$1 heading="## $2"
    touch "$md"
    printf '%s\n' "$3" >"$md.section"
    awk -v file="$md.section" -v heading="$heading" '
        function put(  line) { while ((getline line < file) > 0) print line }
        $0 == heading || index($0, heading " (") == 1 { put(); skip = 1; done = 1; next }
        /^## / { if (skip) print ""; skip = 0 }
        !skip
        END { if (!done) { print ""; put() } }' "$md" >"$md.tmp"
    mv "$md.tmp" "$md"
    rm -f "$md.section"
}
