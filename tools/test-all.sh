#!/bin/sh
# Builds everything (native, sanitizers, Windows cross-build, fuzz targets)
# and runs every test: the native ones directly, the Windows ones under
# Wine. Exits non-zero on the first failure.
set -eu
cd "$(dirname "$0")/.."
./tools/install-deps.sh
for preset in native asan windows fuzz; do
  echo "== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "== all tests passed"
