#!/usr/bin/env bash
# Builds and runs every test: with GCC and with Clang, warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in gcc clang; do
  echo "== $preset"
  cmake --workflow --preset "$preset" --fresh
done
