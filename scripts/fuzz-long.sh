#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan; build/fuzz) and runs each for
# a while, one after the other, from the committed seeds in fuzz/corpus/<target>/ (and
# the pictures in assets/ for the picture and icon targets). What a run adds to a corpus
# stays in build/fuzz/corpus/<target>/ for the next run; a crash, a broken rule, a leak or
# an input that runs out of time or memory is written to build/fuzz/artifacts/<target>/
# and fails the run. A table of executions and time per target goes to
# build/fuzz/<name>.tsv and to the output.
#
#   scripts/fuzz-long.sh [--seconds N] [--targets "a b ..."] [--name NAME] [--nice]
#     --seconds N   time per target (default 240)
#     --targets     which targets (default all; see fuzz/CMakeLists.txt); NAME:SECONDS
#                   gives one target its own time
#     --name        name of the table (default long-run)
#     --nice        run the fuzzers under nice -n 10
#   WINTREL_JOBS  parallel build jobs (default 2)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

SECONDS_PER_TARGET=240
TARGETS="picture_png picture_gif picture_other window_definitions program_definitions window_settings template_data stage_data stage_unit ico win32_formats"
NAME=long-run
NICE=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) SECONDS_PER_TARGET=$2; shift 2 ;;
    --targets) TARGETS=$2; shift 2 ;;
    --name) NAME=$2; shift 2 ;;
    --nice) NICE=(nice -n 10); shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
JOBS=${WINTREL_JOBS:-2}
BUILD=build/fuzz

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DWINTREL_FUZZ=ON -DWINTREL_TESTS=OFF >/dev/null
fi
"${NICE[@]}" cmake --build "$BUILD" --target fuzz_targets -j "$JOBS" >/dev/null

table="$BUILD/$NAME.tsv"
printf 'target\tseconds\texecutions\texec_per_s\tcorpus\tcoverage\tresult\n' >"$table"
status=0
for entry in $TARGETS; do
  t=${entry%%:*}
  seconds=$SECONDS_PER_TARGET
  [ "$entry" != "$t" ] && seconds=${entry#*:}
  exe="$BUILD/fuzz/fuzz_$t"
  [ -x "$exe" ] || { echo "no fuzz target $t" >&2; exit 2; }
  work="$BUILD/corpus/$t"
  artifacts="$BUILD/artifacts/$t"
  log="$BUILD/logs/$t-$NAME.log"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  seeds=("fuzz/corpus/$t")
  [ -d "fuzz/regressions/$t" ] && seeds+=("fuzz/regressions/$t")
  case "$t" in picture_*|ico) seeds+=(assets) ;; esac
  t0=$(date +%s)
  set +e
  # A smaller quarantine than ASan's 256 MB keeps the resident size of the picture
  # targets, which free large blocks all the time, well below the limit.
  ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64} \
  "${NICE[@]}" "$exe" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" "${seeds[@]}" >"$log" 2>&1
  rc=$?
  set -e
  took=$(( $(date +%s) - t0 ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
  cov=$(sed -nE 's/.* cov: ([0-9]+) .*/\1/p' <<<"$last")
  corp=$(sed -nE 's/.* corp: ([0-9]+)\/.*/\1/p' <<<"$last")
  if [ $rc -eq 0 ]; then result=ok; else result="FAILED (rc $rc, see $log)"; status=1; fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$t" "$took" "${execs:-0}" "${rate:-0}" "${corp:-?}" "${cov:-?}" "$result" >>"$table"
  if [ $rc -ne 0 ]; then
    grep -m1 -E 'ERROR|rule broken|SUMMARY|Test unit written' "$log" >&2 || true
    ls "$artifacts" >&2 || true
  fi
done
column -t -s $'\t' "$table" 2>/dev/null || cat "$table"
exit $status
