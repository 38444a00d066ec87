#!/usr/bin/env bash
# Sets everything up, builds the Windows program and runs it under Wine: on your X
# display when DISPLAY is set and usable (the snow falls over your desktop; Esc or the
# tray icon's menu ends it), otherwise for a few seconds in a virtual X display, saving
# a screenshot whose path is printed. Safe to run again.
#   WINTREL_RUN_SECONDS  how long the virtual-display run lasts (default 6)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

bash scripts/install-deps.sh
bash scripts/fetch-libpng-source.sh >/dev/null

echo "building the Windows program (build/windows)"
mkdir -p build
cmake --preset windows >build/windows-configure.log 2>&1 || { cat build/windows-configure.log; exit 1; }
cmake --build --preset windows -j 2

exe=build/windows/wintrel.exe
if [ ! -f "$exe" ]; then
  echo "wintrel.exe is not built yet (the program's libraries are missing); running the window system's smoke program instead"
  exe=build/windows/wintrel-smoke.exe
fi

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec python3 tests/e2e/run_once.py --exe "$exe" --display
fi
exec python3 tests/e2e/run_once.py --exe "$exe" --virtual --seconds "${WINTREL_RUN_SECONDS:-6}"
