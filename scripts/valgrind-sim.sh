#!/usr/bin/env bash
# The program on the simulated desktop for 30 simulated seconds under valgrind's
# memcheck: no memory error and no definite leak, or the script fails. Uses wintrel-sim
# of the native build (preset linux, build/linux), building it when needed.
#   scripts/valgrind-sim.sh [BUILD_DIR] [SECONDS]   (defaults build/linux, 30)
#   WINTREL_JOBS  parallel build jobs (default 2)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
BUILD=${1:-build/linux}
SECONDS_TO_RUN=${2:-30}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake --preset linux >/dev/null
fi
cmake --build "$BUILD" --target wintrel-sim -j "${WINTREL_JOBS:-2}" >/dev/null
mkdir -p build/test-logs
log=build/test-logs/valgrind-sim.log
status=0
valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --show-leak-kinds=definite \
  --errors-for-leak-kinds=definite --track-origins=yes --num-callers=30 \
  "$BUILD/tools/sim/wintrel-sim" --seconds "$SECONDS_TO_RUN" >"$log" 2>&1 || status=$?
grep -E "exit code|ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|still reachable|in use at exit" "$log" || true
if [ $status -ne 0 ]; then
  echo "valgrind: wintrel-sim failed (status $status); log: $log"
  exit 1
fi
grep -q "exit code 0 after" "$log" || { echo "valgrind: the program did not end normally; log: $log"; exit 1; }
echo "valgrind: no errors, no definite leaks"
