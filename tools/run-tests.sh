#!/usr/bin/env bash
# Installs what the build needs (Debian packages, only those missing), then
# configures, builds and runs every test in the default and the sanitizer
# preset; then the reliability parts: the whole fault matrix, the threaded
# tests under ThreadSanitizer and every fuzzer for 30 s (beside the Windows
# build); then cross-builds the windows preset and runs its tests under
# Wine, the dialog's, and last the Windows kernel tests (qemu, Wine's HID
# stack). Prints the wall time of each part.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
run_start=$SECONDS

"$root/tools/install-deps.sh"

# timed <what> <command...>: runs the command and prints its wall time.
timed() {
  local what="$1" start=$SECONDS
  shift
  echo "== $what"
  "$@"
  echo "== $what: $((SECONDS - start)) s"
}

for preset in default asan; do
  echo "== preset $preset =="
  cmake --preset "$preset"
  timed "$preset build" cmake --build --preset "$preset" -j "$(nproc)"
  timed "$preset tests" ctest --preset "$preset"
  # What the kernel tests (qemu) and the package test report of themselves.
  cat "build/$preset"/tests/{kernel,package}/*/summary.txt 2>/dev/null || true
done

# beside <name> <log> <command...>: starts the command in the background,
# its output into the log; then `joined <name>` waits for it, prints its
# output and its time, and ends the run with its status if it failed.
declare -A beside_pid beside_log beside_start
beside() {
  local name="$1" log="$2"
  shift 2
  beside_log[$name]="$log" beside_start[$name]=$SECONDS
  "$@" >"$log" 2>&1 &
  beside_pid[$name]=$!
}
joined() {
  local name="$1" status=0
  wait "${beside_pid[$name]}" || status=$?
  cat "${beside_log[$name]}"
  echo "== $name: ended $((SECONDS - ${beside_start[$name]})) s after its start"
  if [ "$status" -ne 0 ]; then
    echo "== $name failed (status $status)"
    exit "$status"
  fi
}

# The whole fault matrix mostly waits (its host-death cases fork a host per
# case and the recovery runs follow the virtual clock), so it runs beside the
# tsan build; its output is printed when both have ended.
mkdir -p "$root/build"
beside "fault matrix, every case" "$root/build/fault-matrix.log" \
  env PADFLASH_FAULT_MATRIX=full ctest --preset default -L faultmatrix
timed "preset tsan: threaded tests under ThreadSanitizer" \
  bash -c 'cmake --preset tsan && cmake --build --preset tsan -j "$(nproc)" && ctest --preset tsan'
echo "== fault matrix, every case (default preset, beside the tsan part)"
joined "fault matrix, every case"
timed "preset fuzz: build the fuzzers (clang, libFuzzer)" \
  bash -c 'cmake --preset fuzz && cmake --build --preset fuzz -j "$(nproc)"'
timed "fuzz runner: fails on a crashing target (under a second)" \
  ctest --test-dir build/fuzz -L fuzzrunner --output-on-failure
# The fuzzers run for a fixed time each, one core at a time: they run beside
# the Windows build; their output is printed when both have ended.
beside "fuzzers, 30 s each" "$root/build/fuzzers.log" ./tools/run-fuzzers.sh 30

# Windows: a fresh Wine prefix for this run (the build already runs Windows
# programs in it: the sample packages' images come from padflash-fwgen.exe).
# tools/wine-prefix leaves a persistent wineserver running, detached from
# our pipes, so that ctest does not wait on it; it is stopped at the end.
echo "== preset windows =="
export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stop_wineserver() { wineserver -k </dev/null >/dev/null 2>&1 || true; }
trap stop_wineserver EXIT
timed "windows Wine prefix" "$root/tools/wine-prefix" --fresh
cmake --preset windows
timed "windows build" cmake --build --preset windows -j "$(nproc)"
echo "== fuzzers, 30 s each (beside the windows build)"
joined "fuzzers, 30 s each"
"$root/tools/wine-prefix"
timed "windows tests (Wine)" ctest --preset windows -LE "e2e|dialog|kernel_wine"
timed "windows end-to-end tests: padflash-cli.exe over the simulated VLMHID.dll (Wine)" \
  ctest --preset windows -L e2e
timed "windows dialog tests (padflash.exe under Wine and Xvfb)" ctest --preset windows -L dialog
# What the zip's test (with the dialog tests) reports of itself.
cat build/windows/tests/package/*/summary.txt 2>/dev/null || true
timed "windows kernel tests: padflash-cli.exe and VLMHID.dll through Wine's HID stack (qemu)" \
  ctest --preset windows -L kernel_wine --output-on-failure
cat build/windows/tests/kernel/*/summary.txt 2>/dev/null || true
echo "== the whole test command: $((SECONDS - run_start)) s"
