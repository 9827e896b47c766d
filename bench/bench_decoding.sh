#!/usr/bin/env bash
# bench_decoding.sh [FRAMES] [WIDTHxHEIGHT]: the decoding pass's own cost per frame.
# Runs build/bin/omx_test on one H.264 list entry of FRAMES frames (default 1000, 1280x720) and
# of 2 frames, against the reference core with decoding switched off (input buffers come back at
# once), each with and without drawing (glClear/glDrawArrays/eglSwapBuffers preloaded as no-ops).
# Per frame = (time of the long run - time of the 2-frame run) / (FRAMES - 2), wall clock and
# process CPU (user + system), best of RUNS (default 3), so start-up, UTC 001 and window set-up
# cancel out. Wall time also holds the thread hand-offs to the core and back, which on a loaded
# or virtual machine cost far more than the work itself; CPU time is the cost of the work.
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
short="$media/bench_${size}_2.264"
make_stream "$long" "$frames"
make_stream "$short" 2

work=$(mktemp -d)
# Starts Xvfb only when DISPLAY is unset or does not answer.
# shellcheck source=../scripts/xvfb.sh
source scripts/xvfb.sh
prev_trap=$(trap -p EXIT | sed -e "s/^trap -- '//" -e "s/' EXIT\$//")
trap "${prev_trap:+$prev_trap; }rm -rf '$work'" EXIT

cc -shared -fPIC -O2 -o "$work/nodraw.so" bench/nodraw.c
printf 'core names OMX.ZYN.AVC.Decoder\nOMX.ZYN.AVC.Decoder decode none\n' >"$work/faults"

# run_once STREAM PRELOAD FRAMES -> "wall cpu" seconds of one omx_test run (cpu = user + system of the
# whole process, the core's worker thread included)
run_once() {
  mkdir -p "$work/lists"
  printf '%s %s\n%s\n%s\nLIST_FILE_END\n' "$1" "$work/out" "$width" "$height" >"$work/lists/avcdec_list.txt"
  local TIMEFORMAT='%R %U %S'
  rm -f "$work/stats"
  { time env OMX_TEST_LIST_DIR="$work/lists" ZYN_OMX_FAULTS="$work/faults" ZYN_OMX_STATS="$work/stats" \
      LD_LIBRARY_PATH="$root/$build/lib" ${2:+LD_PRELOAD="$2"} "$build/bin/omx_test" >"$work/report" 2>/dev/null; } \
      2>"$work/time"
  # The core must have received every frame, or the run measured something else.
  local fed
  fed=$(grep -o 'inputs=[0-9]*' "$work/stats" 2>/dev/null | tail -n1 | cut -d= -f2)
  if [ "${fed:-0}" != "$3" ]; then
    echo "bench: the core received ${fed:-no} input buffers, not $3" >&2
    return 1
  fi
  # The decoding pass's own failures void the measurement (UTC 001's timing lines do not).
  if grep -E "^omx_decoding_test:.*FAIL|^wait for |^OMX_EmptyThisBuffer\(\) return Error" "$work/report" >&2; then
    echo "bench: the decoding pass reported the failures above" >&2
    return 1
  fi
  awk '{ printf "%.6f %.6f\n", $1, $2 + $3 }' "$work/time"
}

best() {  # best STREAM PRELOAD FRAMES -> "wall cpu", each the smallest of $runs runs
  local bw="" bc="" w c
  for _ in $(seq 1 "$runs"); do
    read -r w c < <(run_once "$1" "$2" "$3") || exit 1
    [ -n "$w" ] || exit 1
    if [ -z "$bw" ] || awk -v a="$w" -v b="$bw" 'BEGIN { exit !(a < b) }'; then bw=$w; fi
    if [ -z "$bc" ] || awk -v a="$c" -v b="$bc" 'BEGIN { exit !(a < b) }'; then bc=$c; fi
  done
  echo "$bw $bc"
}

read -r draw_long_w draw_long_c < <(best "$long" "" "$frames")
read -r draw_short_w draw_short_c < <(best "$short" "" 2)
read -r bare_long_w bare_long_c < <(best "$long" "$work/nodraw.so" "$frames")
read -r bare_short_w bare_short_c < <(best "$short" "$work/nodraw.so" 2)
for v in draw_long_c draw_short_c bare_long_c bare_short_c; do
  [ -n "${!v:-}" ] || { echo "bench: a run failed" >&2; exit 1; }
done

awk -v n="$frames" -v s="$size" -v dlw="$draw_long_w" -v dsw="$draw_short_w" -v blw="$bare_long_w" \
    -v bsw="$bare_short_w" -v dlc="$draw_long_c" -v dsc="$draw_short_c" -v blc="$bare_long_c" \
    -v bsc="$bare_short_c" 'BEGIN {
  k = 1e6 / (n - 2)
  printf "decoding pass, %d frames of %s, reference core with decoding off, best of runs, per frame:\n", n, s
  printf "                                   wall       CPU (process)\n"
  printf "  without draw (program + core): %8.1f us  %8.1f us   (target < 50 us)\n", (blw - bsw) * k, (blc - bsc) * k
  printf "  with draw:                     %8.1f us  %8.1f us\n", (dlw - dsw) * k, (dlc - dsc) * k
  printf "  draw (ShowFrame):              %8.1f us  %8.1f us\n", ((dlw - dsw) - (blw - bsw)) * k, ((dlc - dsc) - (blc - bsc)) * k
}'
