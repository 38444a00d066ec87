#!/usr/bin/env bash
# A short run of every fuzz target (about a minute in all, plus the build), for CI:
# scripts/fuzz-long.sh with a few seconds per target. Fails on any finding.
#   FUZZ_SMOKE_SECONDS  time per target (default 7)
set -euo pipefail
exec bash "$(dirname "$0")/fuzz-long.sh" --seconds "${FUZZ_SMOKE_SECONDS:-7}" --name smoke "$@"
