#!/usr/bin/env bash
# Builds wintrel.exe and wintrel-literal.exe (MinGW-w64, Release, in build/perf-win) and
# measures, in one run under Wine on Xvfb at 1920 x 1080, the CPU of each (the program's
# Wine processes and the X server, split by process) and its peak memory, beside xsnow
# drawing snow only on the same display. See scripts/wine_cpu.py for the options
# (--seconds, --warmup, --out); they are passed on.
#   WINTREL_JOBS  parallel build jobs (default 2)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
JOBS=${WINTREL_JOBS:-2}
DIR=build/perf-win
if [ ! -f "$DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DWINTREL_TESTS=OFF -DWINTREL_WINE_TESTS=OFF >/dev/null
fi
cmake --build "$DIR" -j "$JOBS" --target wintrel wintrel-literal wininfo >/dev/null
exec python3 scripts/wine_cpu.py --build "$DIR" "$@"
