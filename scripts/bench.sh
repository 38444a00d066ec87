#!/usr/bin/env bash
# Builds the benchmarks (Release) and prints the stage's literal and production paths
# side by side: the medians of five repetitions of each measure, run interleaved in one
# process, and their ratio.
#   WINTREL_JOBS       parallel build jobs (default 2)
#   WINTREL_BENCH_DIR  the build folder (default build/perf)
#   WINTREL_BENCH_REPS repetitions (default 5)
# Any further arguments go to the benchmark program (e.g. --benchmark_filter=Spawn).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
JOBS=${WINTREL_JOBS:-2}
DIR=${WINTREL_BENCH_DIR:-build/perf}
REPS=${WINTREL_BENCH_REPS:-5}

if [ ! -f "$DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWINTREL_BENCH=ON >/dev/null
else
  cmake -S . -B "$DIR" -DCMAKE_BUILD_TYPE=Release -DWINTREL_BENCH=ON >/dev/null
fi
cmake --build "$DIR" -j "$JOBS" --target wintrel-bench >/dev/null

OUT="$DIR/bench.json"
LOG="$DIR/bench.log"
if ! "$DIR/bench/wintrel-bench" --benchmark_repetitions="$REPS" --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true --benchmark_out="$OUT" --benchmark_out_format=json \
  "$@" >"$LOG" 2>&1; then
  cat "$LOG" >&2
  exit 1
fi

python3 - "$OUT" <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))
ctx = data["context"]
medians = {}
for b in data["benchmarks"]:
    if b.get("aggregate_name") != "median":
        continue
    family, path = b["run_name"].split("/")[:2]
    medians[(family, path)] = b
# What each measure's median is: CPU time of one spawn, thread CPU time of the paints
# after one tick, process CPU time of one simulated second.
measures = [("Spawn", "cpu_time", "us", "spawn (CPU per snowflake)", 50),
            ("Paint", "real_time", "us", "paint (CPU of the paints after one tick)", 20),
            ("SnowSecond", "real_time", "ms", "snow-second (CPU per simulated second)", 20)]
print(f"{ctx['date']}  {ctx['host_name']}  {ctx['num_cpus']} CPUs, load {' '.join(f'{l:.2f}' for l in ctx.get('load_avg', []))}")
print(f"medians of {data['benchmarks'][0].get('repetitions', '?')} repetitions, interleaved, one run\n")
print(f"| measure | literal | production | literal / production | target |")
print(f"|---|---|---|---|---|")
for family, field, unit, title, target in measures:
    lit, prod = medians.get((family, "literal")), medians.get((family, "production"))
    if not lit or not prod:
        continue
    a, b = lit[field], prod[field]
    ratio = a / b if b else float("inf")
    mark = "met" if ratio >= target else "missed"
    print(f"| {title} | {a:.3f} {lit['time_unit']} | {b:.3f} {prod['time_unit']} | {ratio:.1f}x | {target}x ({mark}) |")
lit, prod = medians.get(("SnowSecond", "literal")), medians.get(("SnowSecond", "production"))
if lit and prod:
    print(f"| snow-second peak resident memory | {lit['peak_rss_mb']:.1f} MiB | {prod['peak_rss_mb']:.1f} MiB | "
          f"{lit['peak_rss_mb'] / prod['peak_rss_mb']:.2f}x | |")
lit, prod = medians.get(("Paint", "literal")), medians.get(("Paint", "production"))
if lit and prod:
    print(f"| paint: outputs per paint | {lit['outputs_per_paint']:.1f} | {prod['outputs_per_paint']:.1f} | | |")
    print(f"| paint: pixels composed per paint | {lit['pixels_per_paint']:.0f} | {prod['pixels_per_paint']:.0f} | "
          f"{lit['pixels_per_paint'] / prod['pixels_per_paint']:.1f}x | |")
PY
