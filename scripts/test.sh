#!/usr/bin/env bash
# Sets everything up, builds and runs every test:
#   1. the native build (preset linux) and its tests,
#   2. the sanitizer build (preset linux-asan) and its tests, a short run of every fuzz
#      target (scripts/fuzz-smoke.sh) and the program under valgrind
#      (scripts/valgrind-sim.sh),
#   3. the Windows build (preset windows), a check that its executables import only
#      system libraries, and the end-to-end scenarios under Wine on a virtual display.
# Every stage runs even when an earlier one failed; the last line is
# "N passed, N failed", and the exit code is non-zero when anything failed.
# Works from a fresh clone (as root or with sudo) and is safe to run again.
#   WINTREL_JOBS  parallel build and test jobs (default 2)
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
JOBS=${WINTREL_JOBS:-2}
LOGS=build/test-logs
mkdir -p "$LOGS"

passed=0
failed=0
failures=()
started=$(date +%s)

stage_time() { echo "$(( $(date +%s) - $1 )) s"; }

# A step that is one check of its own: counts as one passed or failed test.
check() {
  local name=$1; shift
  local t0; t0=$(date +%s)
  local log="$LOGS/${name//[^A-Za-z0-9_.-]/_}.log"
  if "$@" >"$log" 2>&1; then
    echo "PASS $name ($(stage_time "$t0"))"
    passed=$((passed + 1))
  else
    echo "FAIL $name ($(stage_time "$t0")), log: $log"
    tail -n 30 "$log" | sed 's/^/    /'
    failed=$((failed + 1))
    failures+=("$name")
    return 1
  fi
}

# Runs ctest for a preset and adds its counts.
ctest_stage() {
  local preset=$1
  local log="$LOGS/ctest-$preset.log"
  local t0; t0=$(date +%s)
  ctest --preset "$preset" -j "$JOBS" --timeout 600 >"$log" 2>&1
  local rc=$?
  local summary; summary=$(grep -E "tests passed, [0-9]+ tests? failed out of [0-9]+" "$log" | tail -n 1)
  if [ -n "$summary" ]; then
    local bad total
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    echo "ctest $preset: $summary ($(stage_time "$t0"))"
    if [ "$bad" -gt 0 ]; then
      failures+=("ctest $preset")
      sed -n '/The following tests FAILED/,$p' "$log" | sed 's/^/    /'
    fi
  elif grep -q "No tests were found" "$log"; then
    echo "ctest $preset: no tests were found"
  fi
  if [ $rc -ne 0 ] && [ -z "$summary" ]; then
    echo "FAIL ctest $preset did not run, log: $log"
    tail -n 30 "$log" | sed 's/^/    /'
    failed=$((failed + 1))
    failures+=("ctest $preset")
  fi
}

imports_only_system_dlls() {
  local exe status=0
  for exe in "$@"; do
    [ -f "$exe" ] || continue
    local dlls; dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    echo "$exe: $(echo $dlls)"
    local dll
    for dll in $dlls; do
      case "$dll" in
        kernel32.dll|user32.dll|gdi32.dll|shell32.dll|winmm.dll|ole32.dll|oleaut32.dll|msvcrt.dll|advapi32.dll) ;;
        *) echo "  $dll is not a system library"; status=1 ;;
      esac
    done
  done
  return $status
}

echo "== set-up"
check install-deps bash scripts/install-deps.sh || { echo "$passed passed, $failed failed"; exit 1; }
check libpng-source bash scripts/fetch-libpng-source.sh

for preset in linux linux-asan; do
  echo "== $preset"
  if check "configure $preset" cmake --preset "$preset" &&
     check "build $preset" cmake --build --preset "$preset" -j "$JOBS"; then
    ctest_stage "$preset"
  fi
done

echo "== fuzz smoke and valgrind"
# Every fuzz target for a few seconds (clang, libFuzzer, ASan + UBSan; build/fuzz).
check "fuzz smoke" bash scripts/fuzz-smoke.sh
# The program for 30 simulated seconds under memcheck (wintrel-sim of build/linux).
check "valgrind wintrel-sim 30 s" bash scripts/valgrind-sim.sh build/linux 30

echo "== windows"
if check "configure windows" cmake --preset windows &&
   check "build windows" cmake --build --preset windows -j "$JOBS"; then
  check "windows executables import only system DLLs" imports_only_system_dlls build/windows/*.exe
  echo "== end-to-end under Wine"
  t0=$(date +%s)
  python3 tests/e2e/run_e2e.py --build-dir build/windows --out build/e2e 2>&1 | tee "$LOGS/e2e.log"
  summary=$(grep -E "^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$" "$LOGS/e2e.log" | tail -n 1)
  if [ -n "$summary" ]; then
    read -r e2e_passed _ e2e_failed _ <<<"$summary"
    passed=$((passed + e2e_passed))
    failed=$((failed + e2e_failed))
    [ "$e2e_failed" -gt 0 ] && failures+=("end-to-end")
  else
    echo "FAIL end-to-end: the harness gave no summary"
    failed=$((failed + 1))
    failures+=("end-to-end")
  fi
  echo "end-to-end: $(stage_time "$t0")"
fi

echo "== done in $(stage_time "$started")"
if [ ${#failures[@]} -gt 0 ]; then
  echo "failed: ${failures[*]}"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
