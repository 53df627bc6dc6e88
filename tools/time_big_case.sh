#!/usr/bin/env bash
# Times both programs on the big generated case (or the small one):
#   tools/time_big_case.sh [big|small] [runs] [bin folder]
# Prints the median wall time, CPU time (user + system) and peak memory of
# each program over the runs (animconv also on one thread, LWMD5_THREADS=1),
# the input and output sizes, and checks that one thread and all threads write
# the same bytes. Needs /usr/bin/time (package "time"). Build first:
# cmake --preset release && cmake --build --preset release
set -euo pipefail
size=${1:-big}
runs=${2:-5}
bin=${3:-$(cd "$(dirname "$0")/.." && pwd)/build/release/bin}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bin/make_bench_case" "$size" "$work" >/dev/null
cd "$work"
bytes() { stat -c %s "$1"; }
echo "case $size: $(bytes "$size.lws") bytes of scene, $(bytes "$size.lwo") bytes of object; $(nproc) cores"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# time_program LABEL OUTPUT COMMAND...: runs the command $runs times and
# prints the medians of its wall time, CPU time and peak memory.
time_program() {
  local label=$1 out=$2
  shift 2
  : > times
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S %M" -o one "$@" >/dev/null 2>&1 || { echo "$label failed" >&2; exit 1; }
    cat one >> times
  done
  local wall cpu rss
  wall=$(awk '{ print $1 }' times | median)
  cpu=$(awk '{ print $2 + $3 }' times | median)
  rss=$(awk '{ print $4 }' times | median)
  echo "$label: median of $runs runs: wall $wall s, CPU $cpu s, peak memory $((rss / 1024)) MB; wrote $(bytes "$out") bytes"
}

time_program meshconv "$size.md5mesh" "$bin/meshconv" "$size.lws" "$size.lwo"
time_program animconv "$size.md5anim" "$bin/animconv" "$size.lws" "$size.lwo"
cp "$size.md5anim" all-threads.md5anim
time_program "animconv, LWMD5_THREADS=1" "$size.md5anim" env LWMD5_THREADS=1 "$bin/animconv" "$size.lws" "$size.lwo"
if cmp -s "$size.md5anim" all-threads.md5anim; then
  echo "animconv writes the same bytes with 1 thread and with all threads"
else
  echo "animconv output differs between 1 thread and all threads" >&2
  exit 1
fi
