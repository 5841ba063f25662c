#!/usr/bin/env bash
# Installs what the build needs (Debian packages, only those missing), then
# configures, builds and runs every test in the default and the sanitizer
# preset; then the reliability parts: the whole fault matrix, the threaded
# tests under ThreadSanitizer and every fuzzer for 30 s, each with its time.
set -euo pipefail
cd "$(dirname "$0")/.."

"$(dirname "$0")/install-deps.sh"

for preset in default asan; do
  echo "== preset $preset =="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset"
done

# Runs a step and prints how long it took.
timed() {
  local name="$1" start
  shift
  start=$(date +%s)
  echo "== $name"
  "$@"
  echo "== $name: $(($(date +%s) - start)) s"
}

timed "fault matrix, every case (default preset)" \
  env PADFLASH_FAULT_MATRIX=full ctest --preset default -L faultmatrix
timed "preset tsan: threaded tests under ThreadSanitizer" \
  bash -c 'cmake --preset tsan && cmake --build --preset tsan -j "$(nproc)" && ctest --preset tsan'
timed "preset fuzz: build the fuzzers (clang, libFuzzer)" \
  bash -c 'cmake --preset fuzz && cmake --build --preset fuzz -j "$(nproc)"'
timed "fuzzers, 30 s each" ./tools/run-fuzzers.sh 30
