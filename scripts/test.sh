#!/usr/bin/env bash
# Builds and runs every test: with GCC and with Clang, warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in gcc clang; do
  echo "== $preset"
  cmake --workflow --preset "$preset" --fresh
done

# Whole-run instruction count (callgrind) against the plain C program, built
# with the bench preset. The limit guards against regressions; the target the
# program aims at is 1.5 (bench/README.md has the latest figures).
echo "== instruction count"
INTEGRAL_INSTRUCTION_LIMIT=3.0 bench/ratios.sh --gate
