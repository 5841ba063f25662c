#!/usr/bin/env bash
# Installs what the build needs (Debian packages, only those missing), then
# configures, builds and runs every test in the default and the sanitizer
# preset.
set -euo pipefail
cd "$(dirname "$0")/.."

"$(dirname "$0")/install-deps.sh"

for preset in default asan; do
  echo "== preset $preset =="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset"
  # What the kernel tests (qemu) and the package test report of themselves.
  cat "build/$preset"/tests/{kernel,package}/*/summary.txt 2>/dev/null || true
done
