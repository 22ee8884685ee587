#!/bin/sh
# Burst capture comparison on the loopback device: two sender processes send
# N small UDP datagrams (N/2 each, 64 bytes with their headers) to 127.0.0.1
# as fast as they can, while pebblewire and tcpdump, both on their defaults,
# capture the same burst. Prints both counts, their ratio and each one's CPU
# time for each run. With "write", both write the burst to a pcap file (-w)
# and the counts are those of the files. Needs root and the native build
# (cmake --preset native && cmake --build --preset native).
#
#   bench/burst_capture.sh [N] [RUNS] [write]   (defaults 10000, 5, no file)
set -eu
cd "$(dirname "$0")/.."
N=${1:-10000}
RUNS=${2:-5}
MODE=${3:-}
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

cpu_ms() {  # the milliseconds cpu_time.py wrote
  awk '{ printf "%.1f", $1 }' "$1"
}

records() {  # the records of a pcap file
  tcpdump -r "$1" -n 2>/dev/null | wc -l
}

if [ "$MODE" = write ]; then
  PW_OUT="-w $TMP/pw.pcap"
  TD_OUT="$TMP/td.pcap"
  echo "burst of $N UDP datagrams to 127.0.0.1:$PORT from two senders, written with -w"
else
  PW_OUT=""
  TD_OUT=/dev/null
  echo "burst of $N UDP datagrams to 127.0.0.1:$PORT from two senders"
fi
printf '%-4s %12s %12s %8s %10s %10s\n' run pebblewire tcpdump ratio "pw cpu ms" "td cpu ms"
run=1
while [ $run -le "$RUNS" ]; do
  # shellcheck disable=SC2086
  bench/cpu_time.py "$TMP/pw.cpu" \
    "$PW" -i 127.0.0.1 -q -p udp -t "127.0.0.1:$PORT" $PW_OUT >"$TMP/pw.out" 2>"$TMP/pw.err" &
  pw=$!
  bench/cpu_time.py "$TMP/td.cpu" \
    tcpdump -i lo -n -w "$TD_OUT" "udp and dst port $PORT" 2>"$TMP/td.err" &
  td=$!
  wait_for "$TMP/pw.err" "listening on"
  wait_for "$TMP/td.err" "listening on"
  sleep 0.2
  "$SEND" $PORT $((N / 2)) 36 & s1=$!
  "$SEND" $PORT $((N - N / 2)) 36 & s2=$!
  wait $s1 $s2
  sleep 1
  pkill -INT -P $pw 2>/dev/null || true
  pkill -INT -P $td 2>/dev/null || true
  wait $pw || true
  wait $td || true
  if [ "$MODE" = write ]; then
    p=$(records "$TMP/pw.pcap")
    t=$(records "$TMP/td.pcap")
  else
    p=$(sed -n 's/^\([0-9]*\) datagrams\{0,1\} stored.*/\1/p' "$TMP/pw.err")
    t=$(sed -n 's/^\([0-9]*\) packets\{0,1\} captured.*/\1/p' "$TMP/td.err")
  fi
  ratio=$(awk -v p="${p:-0}" -v t="${t:-0}" 'BEGIN { if (t > 0) printf "%.3f", p / t; else print "-" }')
  printf '%-4s %12s %12s %8s %10s %10s\n' $run "${p:-?}" "${t:-?}" "$ratio" \
    "$(cpu_ms "$TMP/pw.cpu")" "$(cpu_ms "$TMP/td.cpu")"
  grep -v -e 'datagrams\{0,1\} \(stored\|written\)' -e '^listening on' -e '^Debian' \
    -e 'stopped by SIGINT' "$TMP/pw.err" | sed 's/^/  pebblewire: /' || true
  run=$((run + 1))
done
