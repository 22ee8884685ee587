#!/bin/sh
# Builds the native tree and runs what the engine offers so far.
set -eu
cd "$(dirname "$0")/.."
./tools/install-deps.sh
cmake --preset native
cmake --build --preset native
exec ./build/native/bench/hot_path_bench
