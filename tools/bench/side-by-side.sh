#!/usr/bin/env bash
# The console's figures of two builds measured in one run, so both see the same machine load:
# click to first byte and reply to screen (mx7300-bench latency) and the start-up ratio
# (mx7300-bench startup). Each round runs both builds, the order swapping every round
# (old new, new old, ...), and each build's latency run is followed by its start-up run.
#   tools/bench/side-by-side.sh OLD_BUILD NEW_BUILD
# Each build directory holds bin/mx7300-bench, bin/mx7300-control and bin/mx7300-bare-window
# built RelWithDebInfo (a tree of today's main needs -DTAVO_BENCHMARKS=ON); nothing is built here.
# ROUNDS (6), SAMPLES (400 clicks a latency run), STARTUP_RUNS (9 launches of each program a
# start-up run), OLD_LABEL and NEW_LABEL (the column names) in the environment change that.
# Where valgrind is installed, the instructions each build executes are counted too (callgrind,
# blind to the load): per click handler, per reply handled, and from exec to the first frame;
# CALLGRIND=0 leaves that out. TIMED=0 skips the timed rounds and reports again the ones kept
# in docs/bench/side-by-side/ (their settings from setup.txt there).
# Writes the section "Side by side with the previous main" of docs/benchmarks.md (replacing an
# earlier one) and the raw figures under docs/bench/side-by-side/. Run by hand, never by ctest.
set -euo pipefail

# shellcheck source=tools/bench/session.sh
source "$(dirname "$0")/session.sh"

if [ $# -ne 2 ]; then
    echo "usage: $0 OLD_BUILD NEW_BUILD" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")/../.." && pwd)
old=$(cd "$1" && pwd)
new=$(cd "$2" && pwd)
for build in "$old" "$new"; do
    for program in mx7300-bench mx7300-control mx7300-bare-window; do
        if [ ! -x "$build/bin/$program" ]; then
            echo "side-by-side: $build/bin/$program is not built" >&2
            exit 2
        fi
    done
done

# Both builds under the same X server. display.sh passes on only one argument; this needs two.
if [ -z "${DISPLAY:-}" ] && [ -z "${TAVO_BENCH_UNDER_XVFB:-}" ] && command -v xvfb-run >/dev/null; then
    export TAVO_BENCH_UNDER_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$old" "$new"
fi
build=$new
# shellcheck source=tools/bench/display.sh
source "$here/tools/bench/display.sh"

rounds=${ROUNDS:-6}
samples=${SAMPLES:-400}
runs=${STARTUP_RUNS:-9}
commit_of() { # BUILD_DIR: the source tree's commit, when it is a git checkout
    local src
    src=$(grep -m1 '^CMAKE_HOME_DIRECTORY:' "$1/CMakeCache.txt" | cut -d= -f2)
    git -C "$src" rev-parse --short HEAD 2>/dev/null || echo "unknown commit"
}
old_label=${OLD_LABEL:-$(commit_of "$old")}
new_label=${NEW_LABEL:-$(commit_of "$new")}

raw="$here/docs/bench/side-by-side"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$raw"
log="$raw/runs.txt"
setup="$raw/setup.txt"


# run ROUND TAG BUILD: one latency run and one start-up run of that build.
run() {
    local round=$1 tag=$2 bench="$3/bin/mx7300-bench" dir="$work/r$1-$2"
    mkdir -p "$dir"
    echo "== round $round $tag latency: $(busy)" | tee -a "$log"
    "$bench" latency "$dir" "$samples" 2>/dev/null | tee "$dir/latency.txt" >>"$log"
    echo "== round $round $tag startup: $(busy)" | tee -a "$log"
    "$bench" startup "$3/bin/mx7300-control" "$3/bin/mx7300-bare-window" "$dir/startup.csv" \
        "$runs" 2>/dev/null | tee "$dir/startup.txt" >>"$log"
}

machine="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores,"
machine+=" kernel $(uname -r), Qt $(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null || echo '?')"
if [ "${TIMED:-1}" != 0 ]; then
    started=$(date -u '+%Y-%m-%d %H:%M')
    load_start=$(cut -d' ' -f1-3 /proc/loadavg)
    : >"$log"
    for ((r = 1; r <= rounds; ++r)); do
        if ((r % 2)); then
            run "$r" old "$old"
            run "$r" new "$new"
        else
            run "$r" new "$new"
            run "$r" old "$old"
        fi
    done
    echo "== end: $(busy)" | tee -a "$log"
    for key in rounds samples runs old_label new_label started load_start display machine; do
        echo "$key=${!key}"
    done >"$setup"
else
    while IFS='=' read -r key value; do
        [[ $key =~ ^[a-z_]+$ ]] && printf -v "$key" '%s' "$value"
    done <"$setup"
fi

# Instructions executed, which the machine's load cannot change: a short latency run with the
# click and reply handlers' inclusive counts, and the console's start to its first frame (a
# callgrind dump asked for when it reports the frame), twice each.
cg="$raw/callgrind.txt"
rm -f "$cg"
callgrind() { # TAG BUILD
    local tag=$1 dir="$work/cg-$1"
    mkdir -p "$dir"
    for i in 1 2; do
        valgrind --tool=callgrind --callgrind-out-file="$dir/latency$i.out" \
            "$2/bin/mx7300-bench" latency "$dir" 30 >/dev/null 2>&1
        callgrind_annotate --inclusive=yes --tree=caller --threshold=100 "$dir/latency$i.out" \
            2>/dev/null | python3 -c '
import re, sys
tag, run, wanted = sys.argv[1], sys.argv[2], {"click": "tavo::PanelController::oneShotClick(",
                            "reply": "tavo::ProjectorLink::MSComm1_OnComm("}
calls = 0
for line in sys.stdin:
    m = re.match(r"\s*([0-9,]+) \(.*?\)\s+([<*>])\s+(.*)", line)
    if not m:
        calls = 0
        continue
    ir, kind, rest = int(m.group(1).replace(",", "")), m.group(2), m.group(3)
    if kind == "<":
        n = re.search(r"\(([0-9,]+)x\)", rest)
        calls += int(n.group(1).replace(",", "")) if n else 0
    elif kind == "*":
        for name, fn in wanted.items():
            if fn in rest and calls:
                print(f"{tag}_{name}_calls={calls}\n{tag}_{name}_ir_per_call_{run}={ir / calls:.0f}")
                del wanted[name]
                break
        calls = 0
' "$tag" "$i" >>"$cg"
    done
    for i in 1 2; do
        python3 - "$2/bin/mx7300-control" "$dir/start$i.out" "${tag}_start_ir_$i" <<'PY' >>"$cg"
import os, pty, subprocess, sys, tempfile, time
program, out, key = sys.argv[1:]
master, slave = pty.openpty()
config = tempfile.mkdtemp()
os.makedirs(f"{config}/TAVO")
with open(f"{config}/TAVO/TAVO.ini", "w") as ini:
    ini.write(f"[StartUP]\nComPort=1\nBaudRate=96\n[Ports]\nCOM1={os.ttyname(slave)}\n")
env = dict(os.environ, TAVO_REPORT_FIRST_FRAME="1", XDG_CONFIG_HOME=config)
run = subprocess.Popen(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", program],
                       env=env, stderr=subprocess.PIPE, text=True)
for line in run.stderr:
    if line.startswith("first-frame"):
        subprocess.run(["callgrind_control", "-d", str(run.pid)], capture_output=True)
        time.sleep(3)  # the dump is written at the program's next look at its commands
        break
run.terminate()
run.wait()
with open(f"{out}.1") as dump:
    total = next(l for l in dump if l.startswith("totals:")).split()[1]
print(f"{key}={total}")
PY
    done
}
if [ "${CALLGRIND:-1}" != 0 ] && command -v valgrind >/dev/null; then
    callgrind old "$old"
    callgrind new "$new"
fi

python3 - "$work" "$raw" "$here/docs/benchmarks.md" "$rounds" "$samples" "$runs" \
    "$old_label" "$new_label" "$started" "$load_start" "$display" "$machine" <<'PY'
import csv, math, os, re, sys

work, raw, doc, rounds, samples, runs, old_label, new_label, started, load_start, display, machine = sys.argv[1:]
rounds, samples, runs = int(rounds), int(samples), int(runs)
tags = ("old", "new")


def rank(values, fraction):  # nearest rank, as mx7300-bench reports
    values = sorted(values)
    return values[min(max(math.ceil(fraction * len(values)), 1), len(values)) - 1]


def read_csv(path):
    with open(path) as f:
        return list(csv.DictReader(f))


# Every sample of every run, with its round and build in front; without timed rounds in this
# run, the ones kept from an earlier one.
pooled = {"click-to-wire": [], "reply-to-screen": [], "startup": []}
if os.path.isdir(f"{work}/r1-old"):
    for r in range(1, rounds + 1):
        for tag in tags:
            for name in pooled:
                for row in read_csv(f"{work}/r{r}-{tag}/{name}.csv"):
                    pooled[name].append({"round": r, "build": tag, **row})
    for name, rows in pooled.items():
        with open(f"{raw}/{name}.csv", "w", newline="") as f:
            out = csv.DictWriter(f, fieldnames=list(rows[0].keys()))
            out.writeheader()
            out.writerows(rows)
else:
    for name in pooled:
        pooled[name] = [{**row, "round": int(row["round"])} for row in read_csv(f"{raw}/{name}.csv")]


def column(name, field, tag, r=None):
    return [float(x[field]) for x in pooled[name]
            if x["build"] == tag and (r is None or x["round"] == r)]


def startup_ratio(tag, r=None):
    def first_frames(program):
        return [float(x["first_frame_ms"]) for x in pooled["startup"] if x["build"] == tag
                and x["program"] == program and (r is None or x["round"] == r)]
    return rank(first_frames("console"), 0.5) / rank(first_frames("bare"), 0.5)


# (label, unit, value of a build over one round or all rounds)
figures = [
    ("click to first byte, median", "ms", lambda t, r=None: rank(column("click-to-wire", "wire_us", t, r), 0.5) / 1000),
    ("click to first byte, p99", "ms", lambda t, r=None: rank(column("click-to-wire", "wire_us", t, r), 0.99) / 1000),
    ("reply to screen, median", "ms", lambda t, r=None: rank(column("reply-to-screen", "text_us", t, r), 0.5) / 1000),
    ("reply to screen, p99", "ms", lambda t, r=None: rank(column("reply-to-screen", "text_us", t, r), 0.99) / 1000),
    ("start-up ratio, console / empty window", "×", startup_ratio),
]
# For reading only: the first frames themselves, which the ratio divides.
extras = [
    ("console's first frame, median", "ms", lambda t, r=None: rank([float(x["first_frame_ms"]) for x in pooled["startup"] if x["build"] == t and x["program"] == "console" and (r is None or x["round"] == r)], 0.5)),
    ("empty window's first frame, median", "ms", lambda t, r=None: rank([float(x["first_frame_ms"]) for x in pooled["startup"] if x["build"] == t and x["program"] == "bare" and (r is None or x["round"] == r)], 0.5)),
]


def fmt(value, unit):
    return f"{value:.2f} ×" if unit == "×" else f"{value:.3f} ms"


def verdict(old, new, worse_rounds, unit):
    # Worse beyond noise: higher pooled and higher in every round (a sign test: a build no
    # different from the other is higher in all of n rounds with odds of one in 2^n).
    if new <= old:
        return "no worse"
    diff = f"{fmt(new - old, unit)} ({100 * (new - old) / old:.1f} %)"
    if worse_rounds == rounds:
        return f"**worse by {diff}**, in every round"
    return f"no worse beyond noise (higher by {diff} pooled, in {worse_rounds} of {rounds} rounds)"


loads = []
with open(f"{raw}/runs.txt") as f:
    for line in f:
        m = re.search(r"load average ([0-9.]+) ([0-9.]+) ([0-9.]+)", line)
        if m:
            loads.append(float(m.group(1)))

lines = []
add = lines.append
add("## Side by side with the previous main")
add("")
add(f"`tools/bench/side-by-side.sh` on {started} UTC: the previous main ({old_label}) against this")
add(f"tree ({new_label}), both RelWithDebInfo with the same compiler, under one X server: {display}.")
add(f"Machine: {machine}. {rounds} rounds; each round runs both builds, the order swapping every")
add(f"round, and each build's `mx7300-bench latency` ({samples} clicks and {samples} replies after 50")
add(f"unrecorded) is followed by its `mx7300-bench startup` ({runs} launches of the console, the empty")
add("window and the empty window with text, in rotation). Pooled figures are taken over every sample")
add("of all rounds (the start-up ratio: the pooled median first frame of the console over the empty")
add("window's). A figure is called worse only when it is higher pooled and in every round.")
add("")
add(f"Machine load (1-minute load average, read before each of the {4 * rounds} runs): from {min(loads):.2f} to {max(loads):.2f},")
add(f"median {rank(loads, 0.5):.2f}; {load_start} at the start. Each run's load and busiest other processes are in")
add("`docs/bench/side-by-side/runs.txt`; every sample is in `click-to-wire.csv`, `reply-to-screen.csv`")
add("and `startup.csv` there (microseconds and milliseconds, with round and build).")
add("")
add("| Figure | previous main, pooled | this tree, pooled | this tree higher in | Verdict |")
add("|---|---|---|---|---|")
for label, unit, value in figures:
    o, n = value("old"), value("new")
    worse = sum(value("new", r) > value("old", r) for r in range(1, rounds + 1))
    add(f"| {label} | {fmt(o, unit)} | {fmt(n, unit)} | {worse} of {rounds} rounds | {verdict(o, n, worse, unit)} |")
for label, unit, value in extras:
    o, n = value("old"), value("new")
    worse = sum(value("new", r) > value("old", r) for r in range(1, rounds + 1))
    add(f"| {label} (for reading) | {fmt(o, unit)} | {fmt(n, unit)} | {worse} of {rounds} rounds | |")
add("")
add("Per round (previous main / this tree):")
add("")
add("| Round | order | " + " | ".join(label for label, _, _ in figures + extras) + " |")
add("|---|---|" + "---|" * len(figures + extras))
for r in range(1, rounds + 1):
    order = "previous, this" if r % 2 else "this, previous"
    cells = [f"{fmt(v('old', r), u)} / {fmt(v('new', r), u)}" for _, u, v in figures + extras]
    add(f"| {r} | {order} | " + " | ".join(cells) + " |")
cg = {}
if os.path.exists(f"{raw}/callgrind.txt"):
    for line in open(f"{raw}/callgrind.txt"):
        key, _, value = line.strip().partition("=")
        cg[key] = float(value)
if cg:
    def counted(key):
        o, n = cg[f"old_{key}"], cg[f"new_{key}"]
        return f"{o:,.0f} | {n:,.0f} | {100 * (n - o) / o:+.2f} %"
    add("")
    add("Instructions executed (valgrind's callgrind, which no load changes; `callgrind.txt` there):")
    add("")
    add("| Count | previous main | this tree | change |")
    add("|---|---|---|---|")
    for i in (1, 2):
        add(f"| a click's handler, the write included, mean of {cg['new_click_calls']:.0f} clicks, run {i} | {counted(f'click_ir_per_call_{i}')} |")
    for i in (1, 2):
        add(f"| one reply handled and shown, mean of {cg['new_reply_calls']:.0f} replies, run {i} | {counted(f'reply_ir_per_call_{i}')} |")
    for i in (1, 2):
        add(f"| exec to the console's first frame, launch {i} | {counted(f'start_ir_{i}')} |")
    add("")
    add("The same build counts differently from one run to the next (allocations, timers that")
    add("happen to fire inside a handler), so the two runs of each show how far a count moves alone.")
section = "\n".join(lines) + "\n"

text = open(doc).read() if os.path.exists(doc) else "# Benchmarks\n"
text = re.sub(r"\n## Side by side with the previous main.*?(?=\n## |\Z)", "", text, flags=re.S)
open(doc, "w").write(text.rstrip() + "\n\n" + section)
print(section)
PY
echo "wrote the side-by-side section of $here/docs/benchmarks.md"
