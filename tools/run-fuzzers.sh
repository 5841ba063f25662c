#!/usr/bin/env bash
# Runs every fuzzer of the fuzz preset for a bounded time (default 30 s each)
# from the committed seed corpus (tests/fuzz/corpus/<target>/). New inputs go
# to build/fuzz/corpus/<target>/, a crashing input to
# build/fuzz/artifacts/<target>-crash-*; a crash ends the script with a
# failure (the fuzzer's own exit status, e.g. 1 for a crash or a failed
# check, 70 for a timeout). Mend what it finds and commit the input into the seed corpus: the
# default test run replays it (fuzz_replay_<target>).
#
#   tools/run-fuzzers.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  targets=(hex config_line personality_file bootloader_reply command_line state_file
           package_library report_descriptor trace factory_restore programming_replies)
fi

mkdir -p build/fuzz/artifacts
for target in "${targets[@]}"; do
  mkdir -p "build/fuzz/corpus/$target"
  start=$(date +%s)
  echo "== fuzz_$target (${seconds} s)"
  # The fuzzer's status is read from the pipeline itself: after "|| true"
  # PIPESTATUS would hold the status of true.
  set +e
  "build/fuzz/bin/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$target-" \
    "build/fuzz/corpus/$target" "tests/fuzz/corpus/$target" 2>&1 |
    grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|.*check failed)"
  status=${PIPESTATUS[0]}
  set -e
  echo "== fuzz_$target: exit $status, $(( $(date +%s) - start )) s"
  [ "$status" -eq 0 ] || exit "$status"
done
