#!/bin/bash
# Builds the fuzz preset and runs every fuzz target it produces (each
# executable named *_fuzz in build/fuzz, so a new target needs no change
# here) for a given time and/or number of executions, then prints per
# target: executions, executions per second (of wall time and of the CPU
# time the target got), final coverage and findings.
#
# A target NAME_fuzz starts from its seed corpus fuzz/corpus/NAME and its
# past findings fuzz/regressions/NAME, and writes the inputs it finds into a
# scratch corpus build/fuzz/fuzz-all/corpus/NAME that the next run goes on
# from (--fresh empties it first); nothing is written into the sources.
# Findings (crash-*, leak-*, timeout-*, oom-* files) go to
# build/fuzz/fuzz-all/findings/NAME, where those of earlier runs stay; the
# table counts the new ones. The full output of each run to
# build/fuzz/fuzz-all/logs/NAME.log. The exit status is 1 when any target
# found something.
#
# Not part of tools/test-all.sh: a run at depth takes hours. On a shared
# machine run it niced, one target at a time: nice -n 10 tools/fuzz-all.sh.
set -eu

usage() {
  cat <<'EOF'
usage: tools/fuzz-all.sh [-t SECONDS] [-n RUNS] [-j 1|2] [--fresh] [TARGET...] [-- LIBFUZZER_FLAG...]
  -t SECONDS  run each target this long (default 60 when -n is not given)
  -n RUNS     run each target for this many executions (with -t: whichever comes first)
  -j 1|2      targets run one after another (1, the default) or two at a time (2)
  --fresh     empty the scratch corpora first
  TARGET      only these targets (NAME or NAME_fuzz); default: every target
  flags after -- go to every target (for example -max_len=8192)
EOF
}

seconds=""
runs=""
jobs=1
fresh=0
only=()
extra=()
while [ $# -gt 0 ]; do
  case "$1" in
    -t) seconds="$2"; shift 2 ;;
    -n) runs="$2"; shift 2 ;;
    -j) jobs="$2"; shift 2 ;;
    --fresh) fresh=1; shift ;;
    -h|--help) usage; exit 0 ;;
    --) shift; extra=("$@"); break ;;
    -*) usage >&2; exit 2 ;;
    *) only+=("${1%_fuzz}"); shift ;;
  esac
done
case "$jobs" in 1|2) ;; *) usage >&2; exit 2 ;; esac
if [ -z "$seconds" ] && [ -z "$runs" ]; then seconds=60; fi

cd "$(dirname "$0")/.."
root=$PWD
./tools/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

out="$root/build/fuzz/fuzz-all"
mkdir -p "$out/corpus" "$out/findings" "$out/logs" "$out/results"

targets=()
while IFS= read -r exe; do
  name=$(basename "$exe" _fuzz)
  if [ ${#only[@]} -gt 0 ] && [[ ! " ${only[*]} " == *" $name "* ]]; then continue; fi
  targets+=("$exe")
done < <(find "$root/build/fuzz" -type f -name '*_fuzz' -perm -u+x -not -path '*/CMakeFiles/*' | sort)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets found in build/fuzz" >&2
  exit 2
fi

# Runs one target and leaves "executions exec/s cpu-exec/s coverage findings"
# in results/NAME.
run_target() {
  local exe=$1 name
  name=$(basename "$exe" _fuzz)
  local corpus="$out/corpus/$name" findings="$out/findings/$name" log="$out/logs/$name.log"
  if [ "$fresh" -eq 1 ]; then rm -rf "$corpus"; fi
  mkdir -p "$corpus" "$findings"
  local inputs=("$corpus")
  for dir in "$root/fuzz/corpus/$name" "$root/fuzz/regressions/$name"; do
    if [ -d "$dir" ]; then inputs+=("$dir"); fi
  done
  local flags=(-print_final_stats=1 -timeout=20 "-artifact_prefix=$findings/")
  if [ -n "$seconds" ]; then flags+=("-max_total_time=$seconds"); fi
  if [ -n "$runs" ]; then flags+=("-runs=$runs"); fi
  echo "== $name: ${flags[*]:3} ${extra[*]}"

  local start_cpu start_ns end_ns
  cpu_of_children
  start_cpu=$children_cpu
  start_ns=$(date +%s%N)
  touch "$out/results/.start.$name"
  "$exe" "${flags[@]}" "${extra[@]}" "${inputs[@]}" >"$log" 2>&1 || true
  end_ns=$(date +%s%N)
  cpu_of_children

  local executions cov found cpu
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  executions=${executions:-$(sed -n 's/^#\([0-9]*\).*/\1/p' "$log" | tail -n 1)}
  cov=$(sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\).*/\1 \2/p' "$log" | tail -n 1)
  found=$(find "$findings" -type f -newer "$out/results/.start.$name" | wc -l)
  cpu=$(( children_cpu - start_cpu ))
  executions=${executions:-0}
  local wall_rate=$(( executions * 1000000000 / (end_ns - start_ns + 1) ))
  local cpu_rate=$(( cpu > 0 ? executions * 100 / cpu : 0 ))
  echo "$executions $wall_rate $cpu_rate ${cov:-0 0} $found" >"$out/results/$name"
}

# Sets children_cpu to the CPU time (user and system, in hundredths of a
# second) of this shell's finished children, from the second line of
# `times` ("1m2.50s 0m0.25s"); `times` must run in this shell, not in the
# subshell of a pipeline or a command substitution.
cpu_of_children() {
  local file="$out/results/.times.$BASHPID"
  times >"$file"
  children_cpu=$(awk 'NR == 2 {
    split($0, f, /[ms ]+/)
    printf "%d", (f[1] * 60 + f[2] + f[3] * 60 + f[4]) * 100
  }' "$file")
  rm -f "$file"
}

for exe in "${targets[@]}"; do
  if [ "$jobs" -eq 2 ]; then
    while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
    run_target "$exe" &
  else
    run_target "$exe"
  fi
done
wait

printf '\n%-28s %12s %9s %11s %7s %7s  %s\n' target executions exec/s "cpu exec/s" cov ft findings
status=0
for exe in "${targets[@]}"; do
  name=$(basename "$exe" _fuzz)
  read -r executions rate cpu_rate cov ft found <"$out/results/$name"
  note="$found"
  if [ "$found" -gt 0 ]; then
    note="$found new in build/fuzz/fuzz-all/findings/$name"
    status=1
  fi
  printf '%-28s %12s %9s %11s %7s %7s  %s\n' "${name}_fuzz" "$executions" "$rate" "$cpu_rate" \
    "$cov" "$ft" "$note"
done
echo
echo "logs: build/fuzz/fuzz-all/logs; scratch corpora: build/fuzz/fuzz-all/corpus"
if [ "$status" -ne 0 ]; then
  echo "findings: build/fuzz/fuzz-all/findings (move a finding, once fixed, to fuzz/regressions/NAME)"
fi
exit "$status"
