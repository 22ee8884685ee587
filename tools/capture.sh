#!/bin/sh
# The main job: installs the dependencies, builds the native tree and starts
# a live capture with `pebblewire` on its defaults (the first interface
# address, tcp and udp, any address and port). Runs until Ctrl-C, the
# packet limit (10,000 datagrams) or a full byte pool; further arguments go
# to pebblewire (see ./build/native/pebblewire --help). Needs root.
set -eu
cd "$(dirname "$0")/.."
./tools/install-deps.sh
cmake --preset native
cmake --build --preset native
exec ./build/native/pebblewire "$@"
