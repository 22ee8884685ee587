#!/bin/sh
# Builds everything (native, sanitizers, ThreadSanitizer, Windows
# cross-build, fuzz targets) and runs every test: the native ones directly,
# the Windows ones under Wine. The live capture tests (loopback only) run as
# root and print a skip line otherwise. Exits non-zero on the first failure.
set -eu
cd "$(dirname "$0")/.."
./tools/install-deps.sh
for preset in native asan tsan windows fuzz; do
  echo "== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "== all tests passed"
