#!/usr/bin/env bash
# Builds and runs every test: with GCC and with Clang, warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in gcc clang; do
  echo "== $preset"
  cmake --workflow --preset "$preset" --fresh
done

# Checks: the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# the runtime fuzzed for a fixed number of executions, the program under
# valgrind memcheck normally and with each runtime call failing in turn.
echo "== asan"
cmake --workflow --preset asan --fresh
echo "== fuzz"
scripts/fuzz.sh
echo "== valgrind"
scripts/valgrind.sh build/gcc/bin/integral
