#!/usr/bin/env bash
# mx7300-ctl reading and planning large sites, before any port opens: the time planRun takes for
# 2,500 to 20,000 projectors (a 20,000-projector site is near the 1 MiB cap on site files).
#   tools/bench/plan-bench.sh [BUILD_DIR]
# RUNS (15) plans each. Writes the section "Site planning" of docs/benchmarks.md (replacing an
# earlier one) and docs/bench/plan.txt. Run by hand, never by ctest.
set -euo pipefail

here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
runs=${RUNS:-15}

cmake --build "$build" -j2 --target mx7300-plan-bench >/dev/null
raw="$here/docs/bench/plan.txt"
mkdir -p "$(dirname "$raw")"
"$build/bin/mx7300-plan-bench" "$runs" >"$raw"

declare -A v
while IFS='=' read -r key value; do
    [[ $key =~ ^[a-z_0-9]+$ ]] && v[$key]=$value
done <"$raw"
verdict() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b) ? "met" : "**missed**" }'; }
row() { # PROJECTORS [TARGET_MS]
    local n=$1 target=${2:-}
    local check=""
    [ -n "$target" ] && check=$(verdict "${v[plan_${n}_median_ms]}" "$target")
    echo "| $n | ${v[plan_${n}_file_kib]} KiB | ${v[plan_${n}_median_ms]} ms | ${v[plan_${n}_max_ms]} ms | ${target:+< $target ms} | $check |"
}

section=$(cat <<MD
## Site planning (mx7300-ctl)

\`tools/bench/plan-bench.sh\` on $(date -u '+%Y-%m-%d %H:%M') UTC: \`mx7300-plan-bench\` times
mx7300-ctl's own reading and planning of \`--site FILE --all\` (the site file read and checked,
every section turned into a projector, the COMn ports looked up, the shared-line check), in
process, ${v[plan_runs]} plans each; no port opens. Four projectors by address share each line;
the lines are local devices, network ports and COM1 to COM15 in turn. Planning is linear in the
projectors (hash look-ups for names and lines; each COMn is looked up once). Load average at the
end: $(cut -d' ' -f1-3 /proc/loadavg). Raw figures: \`docs/bench/plan.txt\`.

| Projectors | site file | median | max | Target | |
|---|---|---|---|---|---|
$(row 2500)
$(row 5000)
$(row 10000 100)
$(row 20000)
MD
)

doc="$here/docs/benchmarks.md"
python3 - "$doc" "$section" <<'PY'
import re, sys
path, section = sys.argv[1], sys.argv[2].rstrip() + "\n"
text = open(path).read()
pattern = re.compile(r"\n## Site planning .*?(?=\n## |\Z)", re.S)
text = pattern.sub("", text).rstrip() + "\n\n" + section
open(path, "w").write(text)
PY
echo "wrote the site planning section of $doc"
