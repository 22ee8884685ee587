#!/bin/sh
# Burst capture comparison on the loopback device: two sender processes send
# N small UDP datagrams (N/2 each) to 127.0.0.1 as fast as they can, while
# pebblewire and tcpdump, both on their defaults, capture the same burst.
# Prints both counts and their ratio for each run. Needs root and the native
# build (cmake --preset native && cmake --build --preset native).
#
#   bench/burst_capture.sh [N] [RUNS]      (defaults 10000 and 5)
set -eu
cd "$(dirname "$0")/.."
N=${1:-10000}
RUNS=${2:-5}
PORT=47123
BIN=build/native
PW=$BIN/pebblewire
SEND=$BIN/bench/udp_burst
[ -x "$PW" ] && [ -x "$SEND" ] || { echo "build the native preset first" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "burst_capture: needs root" >&2; exit 1; }
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

wait_for() {  # file text: wait up to 5 s for text to appear in file
  i=0
  while ! grep -q "$2" "$1" 2>/dev/null; do
    i=$((i + 1)); [ $i -lt 500 ] || { echo "timed out waiting for $2" >&2; return 1; }
    sleep 0.01
  done
}

echo "burst of $N UDP datagrams to 127.0.0.1:$PORT from two senders"
printf '%-4s %12s %12s %8s\n' run pebblewire tcpdump ratio
run=1
while [ $run -le "$RUNS" ]; do
  "$PW" -i 127.0.0.1 -q -p udp -t "127.0.0.1:$PORT" >"$TMP/pw.out" 2>"$TMP/pw.err" &
  pw=$!
  tcpdump -i lo -n -w /dev/null "udp and dst port $PORT" 2>"$TMP/td.err" &
  td=$!
  wait_for "$TMP/pw.out" "Linux"
  wait_for "$TMP/td.err" "listening on"
  sleep 0.2
  "$SEND" $PORT $((N / 2)) & s1=$!
  "$SEND" $PORT $((N - N / 2)) & s2=$!
  wait $s1 $s2
  sleep 1
  kill -INT $pw $td 2>/dev/null || true
  wait $pw || true
  wait $td || true
  p=$(sed -n 's/^\([0-9]*\) datagrams\{0,1\} stored.*/\1/p' "$TMP/pw.err")
  t=$(sed -n 's/^\([0-9]*\) packets\{0,1\} captured.*/\1/p' "$TMP/td.err")
  ratio=$(awk -v p="${p:-0}" -v t="${t:-0}" 'BEGIN { if (t > 0) printf "%.3f", p / t; else print "-" }')
  printf '%-4s %12s %12s %8s\n' $run "${p:-?}" "${t:-?}" "$ratio"
  grep -v 'datagrams\{0,1\} stored' "$TMP/pw.err" | sed 's/^/  pebblewire: /' || true
  run=$((run + 1))
done
