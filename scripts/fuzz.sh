#!/usr/bin/env bash
# Runs the runtime's fuzz target from the checked-in seed corpus for a fixed
# number of executions with a fixed seed; the inputs it finds go to a scratch
# folder, an input that fails or is slow to build/fuzz-artifacts/. Build it
# first with `cmake --workflow --preset asan`.
# Usage: scripts/fuzz.sh [runs [more libFuzzer options]]   (runs -1: until stopped)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-30000}
shift || true
work=$(mktemp -d)
log=$(mktemp)
trap 'rm -rf "$work" "$log"' EXIT

status=0
mkdir -p build/fuzz-artifacts
build/asan/bin/runtime_fuzzer -runs="$runs" -seed=1 -timeout=10 -print_final_stats=1 \
  -artifact_prefix=build/fuzz-artifacts/ "$@" "$work" fuzz/corpus \
  >"$log" 2>&1 || status=$?
if ((status != 0)); then
  tail -n 60 "$log"
  echo "fuzz: FAILED (status $status)"
  exit "$status"
fi
grep -E "^Done|stat::number_of_executed_units|stat::peak_rss_mb|DONE" "$log"
