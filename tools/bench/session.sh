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
