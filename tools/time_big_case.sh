#!/usr/bin/env bash
# Times the programs on the big generated case (or the small one):
#   tools/time_big_case.sh [big|small] [runs] [bin folder]
# Prints the median wall time, CPU time (user + system) and peak memory of
# each converter over the runs, the input and output sizes, then md5inspect's
# check of the converted pair and its picture of 8 frames, and checks that
# one thread and all threads write the same bytes. Needs /usr/bin/time (package
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

for program in meshconv animconv; do
  : > times
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S %M" -o one "$bin/$program" "$size.lws" "$size.lwo" >/dev/null 2>&1
    cat one >> times
  done
  wall=$(awk '{ print $1 }' times | median)
  cpu=$(awk '{ print $2 + $3 }' times | median)
  rss=$(awk '{ print $4 }' times | median)
  case $program in meshconv) out=$size.md5mesh ;; animconv) out=$size.md5anim ;; esac
  echo "$program: median of $runs runs: wall $wall s, CPU $cpu s, peak memory $((rss / 1024)) MB; wrote $(bytes "$out") bytes"
done

# md5inspect on the pair just written: the check alone, then with the picture.
for label in check picture; do
  extra=()
  [ "$label" = picture ] && extra=(--png "$size.png" --frames 8)
  : > times
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S %M" -o one "$bin/md5inspect" "$size.md5mesh" "$size.md5anim" "${extra[@]}" >/dev/null 2>&1 || true
    cat one >> times
  done
  wall=$(awk '{ print $1 }' times | median)
  cpu=$(awk '{ print $2 + $3 }' times | median)
  rss=$(awk '{ print $4 }' times | median)
  echo "md5inspect $label: median of $runs runs: wall $wall s, CPU $cpu s, peak memory $((rss / 1024)) MB"
done

cp "$size.md5anim" all-threads.md5anim
LWMD5_THREADS=1 "$bin/animconv" "$size.lws" "$size.lwo" >/dev/null 2>&1
if cmp -s "$size.md5anim" all-threads.md5anim; then
  echo "animconv writes the same bytes with 1 thread and with all threads"
else
  echo "animconv output differs between 1 thread and all threads" >&2
  exit 1
fi
