#!/usr/bin/env bash
# The 24-hour soak: builds wintrel-soak (Release, build/soak) and runs the program on a
# 1920 x 1080 simulated desktop for 24 simulated hours from 60 s before the tick counter
# wraps, checked every simulated minute (see tools/soak/soak.cpp). About a quarter of an
# hour of wall time on an idle core. The per-minute figures go to build/soak/soak.csv.
#   scripts/soak.sh [--hours H | --minutes M]   (default --hours 24)
#   WINTREL_JOBS  parallel build jobs (default 2)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
BUILD=build/soak
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$BUILD" --target wintrel-soak -j "${WINTREL_JOBS:-2}" >/dev/null
args=("$@")
[ ${#args[@]} -eq 0 ] && args=(--hours 24)
exec nice -n 10 "$BUILD/tools/soak/wintrel-soak" "${args[@]}" --report "$BUILD/soak.csv"
