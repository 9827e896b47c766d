#!/usr/bin/env bash
# bench_decoding.sh [FRAMES] [WIDTHxHEIGHT]: the decoding pass's own cost per frame.
# Runs build/bin/omx_test on one H.264 list entry of FRAMES frames (default 1000, 1280x720) and
# of 2 frames, against the reference core with decoding switched off (input buffers come back at
# once), each with and without drawing (glClear/glDrawArrays/eglSwapBuffers preloaded as no-ops).
# Per frame = (time of the long run - time of the 2-frame run) / (FRAMES - 2), best of RUNS
# (default 3), so start-up, UTC 001 and window set-up cancel out. Three clocks: wall; CPU of the
# whole process (the core's threads included); CPU of the main thread alone, which runs the
# decoding pass (parser read into the input buffer, the buffer calls, the semaphore wait) and is
# the program's own cost. Wall time also holds the thread hand-offs to the core and back, which
# on a loaded or virtual machine cost far more than the work itself.
# "without draw" preloads glClear/glDrawArrays/eglSwapBuffers as no-ops; "with draw" is real.
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
cc -shared -fPIC -O2 -o "$work/thread_cpu.so" bench/thread_cpu.c
printf 'core names OMX.ZYN.AVC.Decoder\nOMX.ZYN.AVC.Decoder decode none\n' >"$work/faults"

# run_once STREAM PRELOAD FRAMES -> "wall cpu main" seconds of one omx_test run (cpu = user +
# system of the whole process, the core's threads included; main = CPU of the main thread alone)
run_once() {
  mkdir -p "$work/lists"
  printf '%s %s\n%s\n%s\nLIST_FILE_END\n' "$1" "$work/out" "$width" "$height" >"$work/lists/avcdec_list.txt"
  local TIMEFORMAT='%R %U %S'
  rm -f "$work/stats" "$work/main_cpu"
  { time env OMX_TEST_LIST_DIR="$work/lists" ZYN_OMX_FAULTS="$work/faults" ZYN_OMX_STATS="$work/stats" \
      BENCH_CPU_FILE="$work/main_cpu" LD_LIBRARY_PATH="$root/$build/lib" \
      LD_PRELOAD="$work/thread_cpu.so${2:+ $2}" "$build/bin/omx_test" >"$work/report" 2>/dev/null; } \
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
  [ -s "$work/main_cpu" ] || { echo "bench: no main-thread CPU time" >&2; return 1; }
  awk -v m="$(cat "$work/main_cpu")" '{ printf "%.6f %.6f %.6f\n", $1, $2 + $3, m }' "$work/time"
}

best() {  # best STREAM PRELOAD FRAMES -> "wall cpu main", each the smallest of $runs runs
  local bw="" bc="" bm="" w c m
  for _ in $(seq 1 "$runs"); do
    read -r w c m < <(run_once "$1" "$2" "$3") || exit 1
    [ -n "$m" ] || exit 1
    if [ -z "$bw" ] || awk -v a="$w" -v b="$bw" 'BEGIN { exit !(a < b) }'; then bw=$w; fi
    if [ -z "$bc" ] || awk -v a="$c" -v b="$bc" 'BEGIN { exit !(a < b) }'; then bc=$c; fi
    if [ -z "$bm" ] || awk -v a="$m" -v b="$bm" 'BEGIN { exit !(a < b) }'; then bm=$m; fi
  done
  echo "$bw $bc $bm"
}

read -r dlw dlc dlm < <(best "$long" "" "$frames")
read -r dsw dsc dsm < <(best "$short" "" 2)
read -r blw blc blm < <(best "$long" "$work/nodraw.so" "$frames")
read -r bsw bsc bsm < <(best "$short" "$work/nodraw.so" 2)
for v in dlm dsm blm bsm; do
  [ -n "${!v:-}" ] || { echo "bench: a run failed" >&2; exit 1; }
done

awk -v n="$frames" -v s="$size" -v dlw="$dlw" -v dsw="$dsw" -v blw="$blw" -v bsw="$bsw" \
    -v dlc="$dlc" -v dsc="$dsc" -v blc="$blc" -v bsc="$bsc" \
    -v dlm="$dlm" -v dsm="$dsm" -v blm="$blm" -v bsm="$bsm" 'BEGIN {
  k = 1e6 / (n - 2)
  printf "decoding pass, %d frames of %s, reference core with decoding off, best of runs, per frame (us):\n", n, s
  printf "                          wall   CPU process   CPU main thread\n"
  printf "  without draw:       %8.1f      %8.1f          %8.1f   (target < 50)\n", (blw-bsw)*k, (blc-bsc)*k, (blm-bsm)*k
  printf "  with draw:          %8.1f      %8.1f          %8.1f\n", (dlw-dsw)*k, (dlc-dsc)*k, (dlm-dsm)*k
  printf "  draw (ShowFrame):   %8.1f      %8.1f          %8.1f\n", ((dlw-dsw)-(blw-bsw))*k, ((dlc-dsc)-(blc-bsc))*k, ((dlm-dsm)-(blm-bsm))*k
}'
