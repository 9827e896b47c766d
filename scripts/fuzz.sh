#!/usr/bin/env bash
# fuzz.sh SECONDS: builds the libFuzzer targets with clang (build-fuzz/) and
# runs every fuzz_* binary for SECONDS each, starting from the seed corpora in
# fuzz/corpus/<target>/. Prints each target's executions; fails on a crash.
set -euo pipefail

if [ $# -ne 1 ] || ! [[ $1 =~ ^[0-9]+$ ]] || [ "$1" -lt 1 ]; then
  echo "usage: fuzz.sh SECONDS" >&2
  exit 2
fi
secs=$1
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=build-fuzz

# The library is instrumented for coverage as well, not only the targets.
cmake -S . -B "$build" -G Ninja -DOMX_FUZZ=ON -DOMX_BUILD_TESTS=OFF -DOMX_BUILD_REFCORE=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null

targets=()
for src in fuzz/fuzz_*.cpp; do
  [ -e "$src" ] || continue
  targets+=("$(basename "$src" .cpp)")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz.sh: no fuzz targets" >&2
  exit 1
fi
cmake --build "$build" -j2 --target "${targets[@]}"

status=0
for name in "${targets[@]}"; do
  bin=$build/bin/$name
  work=$build/corpus/$name
  mkdir -p "$work"
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds+=("fuzz/corpus/$name")
  log=$build/$name.log
  if UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 \
     "$bin" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
       -print_final_stats=1 -artifact_prefix="$build/$name-" "$work" "${seeds[@]}" >"$log" 2>&1; then
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "$name: ${execs:-?} executions, no crash"
  else
    echo "$name: CRASH (see $log)"
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5
    status=1
  fi
done
exit $status
