#!/usr/bin/env bash
# bench_decoding.sh [FRAMES] [WIDTHxHEIGHT]: the decoding pass's own cost per frame.
# Runs build/bin/omx_test on one H.264 list entry of FRAMES frames (default 1000, 1280x720) and
# of 1 frame, against the reference core with decoding switched off (input buffers come back at
# once), each with and without drawing (glClear/glDrawArrays/eglSwapBuffers preloaded as no-ops).
# Per frame = (time of the long run - time of the 1-frame run) / (FRAMES - 1), best of RUNS
# (default 3), so start-up, UTC 001 and window set-up cancel out.
# "without draw" is the program's cost per frame (parser copy, buffer calls, semaphore wait, the
# core's hand-back); "with draw" adds ShowFrame.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
frames=${1:-1000}
size=${2:-1280x720}
runs=${RUNS:-3}
build=${BUILD_DIR:-build}
width=${size%x*}
height=${size#*x}

[ -x "$build/bin/omx_test" ] && [ -f "$build/lib/libZYN_OMX_Core.so" ] || {
  echo "bench: build first (cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build $build)" >&2
  exit 1
}

media="$root/$build/bench_media"
mkdir -p "$media"
make_stream() {  # make_stream FILE FRAMES
  [ -s "$1" ] && return 0
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=${size}:rate=25" -frames:v "$2" \
    -c:v libx264 -preset ultrafast -pix_fmt yuv420p -bf 0 -g 250 -f h264 "$1.tmp" && mv "$1.tmp" "$1"
}
long="$media/bench_${size}_${frames}.264"
short="$media/bench_${size}_1.264"
make_stream "$long" "$frames"
make_stream "$short" 1

work=$(mktemp -d)
if [ -z "${DISPLAY:-}" ]; then
  # shellcheck source=../scripts/xvfb.sh
  source scripts/xvfb.sh
fi
prev_trap=$(trap -p EXIT | sed -e "s/^trap -- '//" -e "s/' EXIT\$//")
trap "${prev_trap:+$prev_trap; }rm -rf '$work'" EXIT

cc -shared -fPIC -O2 -o "$work/nodraw.so" bench/nodraw.c
printf 'core names OMX.ZYN.AVC.Decoder\nOMX.ZYN.AVC.Decoder decode none\n' >"$work/faults"

# run_once STREAM PRELOAD -> prints elapsed seconds (wall) of one omx_test run
run_once() {
  mkdir -p "$work/lists"
  printf '%s %s\n%s\n%s\nLIST_FILE_END\n' "$1" "$work/out" "$width" "$height" >"$work/lists/avcdec_list.txt"
  local t0 t1
  t0=$EPOCHREALTIME
  env OMX_TEST_LIST_DIR="$work/lists" ZYN_OMX_FAULTS="$work/faults" LD_LIBRARY_PATH="$root/$build/lib" \
    ${2:+LD_PRELOAD="$2"} "$build/bin/omx_test" >"$work/report" 2>/dev/null
  t1=$EPOCHREALTIME
  if grep -q "FAIL" "$work/report"; then
    echo "bench: the run reported a failure:" >&2
    grep "FAIL" "$work/report" >&2
    exit 1
  fi
  echo "$t0 $t1" | awk '{ printf "%.6f\n", $2 - $1 }'
}

best() {  # best STREAM PRELOAD -> the smallest of $runs runs
  local b="" t
  for _ in $(seq 1 "$runs"); do
    t=$(run_once "$1" "$2")
    if [ -z "$b" ] || awk -v a="$t" -v b="$b" 'BEGIN { exit !(a < b) }'; then b=$t; fi
  done
  echo "$b"
}

draw_long=$(best "$long" "")
draw_short=$(best "$short" "")
bare_long=$(best "$long" "$work/nodraw.so")
bare_short=$(best "$short" "$work/nodraw.so")

awk -v n="$frames" -v s="$size" -v dl="$draw_long" -v ds="$draw_short" -v bl="$bare_long" -v bs="$bare_short" 'BEGIN {
  with = (dl - ds) / (n - 1) * 1e6
  without = (bl - bs) / (n - 1) * 1e6
  printf "decoding pass, %d frames of %s, reference core with decoding off, best of runs:\n", n, s
  printf "  per frame without draw (program + core hand-back): %8.1f us   (target < 50 us)\n", without
  printf "  per frame with draw:                                %8.1f us\n", with
  printf "  draw (ShowFrame) per frame:                         %8.1f us\n", with - without
}'
