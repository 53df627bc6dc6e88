#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz"), writes their seed corpora and
# runs each target for a bounded time. Fails on any crash, sanitizer report,
# leak, input slower than 2 s or run above 1 GB.
#
#   .ci/fuzz.sh                 every target, FUZZ_SECONDS (120) each
#   FUZZ_SECONDS=30 .ci/fuzz.sh
#   .ci/fuzz.sh meshconv        only the named targets
#
# Needs clang, libclang-rt-14-dev (libFuzzer and the sanitizer runtimes) and
# cmake; installs what is missing. Targets run FUZZ_JOBS (2) at a time. The
# corpora grow in build/fuzz/corpus/<target> and are kept between runs; a
# failing input is saved as build/fuzz/artifacts/<target>-crash-... (or
# -leak-, -timeout-, -oom-).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
seconds=${FUZZ_SECONDS:-120}
jobs=${FUZZ_JOBS:-2}

.ci/install-missing.sh cmake make clang libclang-rt-14-dev

step() { echo; echo "== $1 ($(( $(date +%s) - start )) s)"; }

step "build: cmake --preset fuzz"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

build=build/fuzz
step "seed corpora"
rm -rf "$build/seeds"
"$build/bin/make_fuzz_seeds" "$build/seeds"
mkdir -p "$build/artifacts" "$build/logs"
# The pipeline targets read both files: both dictionaries.
cat fuzz/lwo.dict fuzz/scene.dict >"$build/pipeline.dict"

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(lwo_reader scene_reader meshconv animconv md5_reader)

dictionary() {
  case "$1" in
    lwo_reader) echo "fuzz/lwo.dict" ;;
    scene_reader) echo "fuzz/scene.dict" ;;
    md5_reader) echo "fuzz/md5.dict" ;;
    *) echo "$build/pipeline.dict" ;;
  esac
}

run_target() {
  local target=$1
  local corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  "$build/bin/${target}_fuzz" "$corpus" "$build/seeds/$target" \
    -max_total_time="$seconds" -timeout=2 -rss_limit_mb=1024 -detect_leaks=1 \
    -dict="$(dictionary "$target")" -artifact_prefix="$build/artifacts/$target-" \
    -print_final_stats=1 >"$build/logs/$target.log" 2>&1
}

step "fuzzing ${targets[*]}, $seconds s each, $jobs at a time"
failed=()
pids=()
names=()
wait_one() {
  local pid=${pids[0]} name=${names[0]}
  pids=("${pids[@]:1}")
  names=("${names[@]:1}")
  local log="$build/logs/$name.log"
  if ! wait "$pid" || grep -qE 'ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer)|runtime error:' "$log"; then
    failed+=("$name")
    echo "-- $name FAILED; the end of $log:"
    tail -n 60 "$log"
  else
    echo "-- $name: $(grep -E '^#[0-9]+.*DONE' "$log" | tail -n 1)"
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$log" | sed 's/^/   /'
  fi
}
for target in "${targets[@]}"; do
  run_target "$target" &
  pids+=($!)
  names+=("$target")
  [ ${#pids[@]} -lt "$jobs" ] || wait_one
done
while [ ${#pids[@]} -gt 0 ]; do wait_one; done

echo; echo "== done in $(( $(date +%s) - start )) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]} (inputs in $build/artifacts)"
  exit 1
fi
