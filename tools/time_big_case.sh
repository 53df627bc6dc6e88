#!/usr/bin/env bash
# Times the programs on the big generated case (or the small one):
#   tools/time_big_case.sh [big|small] [runs] [bin folder]
# Prints the median wall time, CPU time (user + system) and peak memory of
# each converter over the runs (animconv also on one thread, LWMD5_THREADS=1,
# and both with --engine doom3), the input and output sizes, then md5inspect's
# check of the converted pair and its picture of 8 frames; checks that one
# thread and all threads write the same bytes. Needs /usr/bin/time (package
# "time"). Build first: cmake --preset release && cmake --build --preset release
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
# prints the medians of its wall time, CPU time and peak memory, and the size
# of OUTPUT ("-" for none). md5inspect's status 1 (an error in the files) is a
# finished run too.
time_program() {
  local label=$1 out=$2
  shift 2
  : > times
  for _ in $(seq "$runs"); do
    local status=0
    /usr/bin/time -f "%e %U %S %M" -o one "$@" >/dev/null 2>&1 || status=$?
    if [ "$status" -ne 0 ] && ! { [ "$status" -eq 1 ] && [ "$out" = - ]; }; then
      echo "$label failed (status $status)" >&2
      exit 1
    fi
    tail -n 1 one >> times
  done
  local wall cpu rss wrote=""
  wall=$(awk '{ print $1 }' times | median)
  cpu=$(awk '{ print $2 + $3 }' times | median)
  rss=$(awk '{ print $4 }' times | median)
  [ "$out" = - ] || wrote="; wrote $(bytes "$out") bytes"
  echo "$label: median of $runs runs: wall $wall s, CPU $cpu s, peak memory $((rss / 1024)) MB$wrote"
}

time_program "meshconv --engine doom3" "$size.md5mesh" "$bin/meshconv" --engine doom3 "$size.lws" "$size.lwo"
time_program "animconv --engine doom3" "$size.md5anim" "$bin/animconv" --engine doom3 "$size.lws" "$size.lwo"
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

# md5inspect on the pair just written: the check alone, then with the picture.
time_program "md5inspect check" - "$bin/md5inspect" "$size.md5mesh" "$size.md5anim"
time_program "md5inspect check and picture of 8 frames" "$size.png" \
  "$bin/md5inspect" "$size.md5mesh" "$size.md5anim" --png "$size.png" --frames 8
