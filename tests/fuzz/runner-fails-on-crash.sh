#!/usr/bin/env bash
# tools/run-fuzzers.sh on a target whose seed fails its check: the runner
# must end with the fuzzer's failure status and leave the crashing input in
# build/fuzz/artifacts. Takes a second or two.
set -uo pipefail
cd "$(dirname "$0")/../.."
rm -f build/fuzz/artifacts/runner_check-crash-*
output=$(./tools/run-fuzzers.sh 10 runner_check 2>&1)
status=$?
echo "$output"
if [ "$status" -eq 0 ]; then
  echo "FAIL: the runner ended with status 0 on a crashing target"
  exit 1
fi
if ! grep -q "== fuzz_runner_check: exit $status," <<<"$output"; then
  echo "FAIL: the runner did not report the fuzzer's exit status $status"
  exit 1
fi
artifacts=(build/fuzz/artifacts/runner_check-crash-*)
if [ ! -f "${artifacts[0]}" ] || [ "$(cat "${artifacts[0]}")" != crash ]; then
  echo "FAIL: no artifact holding the crashing input"
  exit 1
fi
echo "PASS: the runner failed with status $status and kept ${artifacts[0]}"
