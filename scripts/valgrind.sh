#!/usr/bin/env bash
# Runs the program under valgrind memcheck, normally and with each runtime call
# made to fail in turn (CUDART_EMU_FAIL), and fails on any memory error or any
# heap block left at exit. Usage: scripts/valgrind.sh [path/to/integral]
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/gcc/bin/integral}
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# The status each call is made to fail with: one it documents.
failures=(cudaMalloc=2 cudaFree=17 cudaMemcpy=17 cudaConfigureCall=9 cudaSetupArgument=11 cudaLaunch=8)
runs=("")
for failure in "${failures[@]}"; do
  for n in 1 2 3; do
    runs+=("${failure%%=*}#$n=${failure#*=}")
  done
done

failed=0
for injected in "${runs[@]}"; do
  status=0
  # The device region is one large inaccessible reservation: valgrind warns
  # about its size ("set address range perms: large range"), which is no error.
  CUDART_EMU_FAIL=$injected valgrind --quiet --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all \
    --error-exitcode=99 --log-file="$log" "$program" </dev/null >/dev/null 2>&1 || status=$?
  if ((status != 0 && status != 1)) || grep -q "ERROR SUMMARY: [1-9]" "$log" || grep -q "in use at exit: [1-9]" "$log"; then
    echo "valgrind: FAILED with CUDART_EMU_FAIL='$injected' (exit status $status)"
    cat "$log"
    failed=1
  else
    echo "valgrind: ok, exit status $status, CUDART_EMU_FAIL='$injected'"
  fi
done
echo "valgrind: ${#runs[@]} runs (normal and ${#failures[@]} calls x 3 ordinals), $([ $failed = 0 ] && echo "0 errors, 0 bytes in use at exit" || echo FAILED)"
exit $failed
