#!/usr/bin/env bash
# bench_decoder_speed.sh [--draw]: the reference core's decoding rate through omx_test against
# FFmpeg's own single-thread rate on the same streams, and their ratio.
# omx_test's rate is the "fps" of its results file (pictures per second from the first input to
# the last picture); drawing is switched off (glClear/glDrawArrays/eglSwapBuffers preloaded as
# no-ops) unless --draw is given, so the figure is the decoder's and the pass's, not Mesa's.
# FFmpeg's rate: frames / wall seconds of `ffmpeg -threads 1 -f null` (its -benchmark rtime);
# both best of RUNS.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${BUILD_DIR:-build}
runs=${RUNS:-3}
draw=0
[ "${1:-}" = --draw ] && draw=1

[ -x "$build/bin/omx_test" ] && [ -f "$build/lib/libZYN_OMX_Core.so" ] || {
  echo "bench: build first (cmake --build $build)" >&2
  exit 1
}
media="$root/$build/bench_media"
mkdir -p "$media"
# name list-file width height frames codec args...: enough frames that what happens once (the codec's
# opening, the component's first EGL context) stays near 1% of either run
streams=(
  "speed_720p.264 avcdec 1280 720 300 -c:v libx264 -preset medium -bf 2 -f h264"
  "speed_cif_3000.m4v mpeg4dec 352 288 3000 -c:v mpeg4 -q:v 4 -f m4v"
  "speed_qcif_3000.263 h263dec 176 144 3000 -c:v h263 -q:v 4 -f h263"
)
work=$(mktemp -d)
# shellcheck source=../scripts/xvfb.sh
source scripts/xvfb.sh
prev_trap=$(trap -p EXIT | sed -e "s/^trap -- '//" -e "s/' EXIT\$//")
trap "${prev_trap:+$prev_trap; }rm -rf '$work'" EXIT
cc -shared -fPIC -O2 -o "$work/nodraw.so" bench/nodraw.c
preload=""
[ "$draw" = 1 ] || preload="$work/nodraw.so"

printf '%-20s %8s %10s %10s %7s\n' stream frames omx_fps ffmpeg_fps ratio
for row in "${streams[@]}"; do
  read -r name list width height frames args <<<"$row"
  file="$media/$name"
  if [ ! -s "$file" ]; then
    # shellcheck disable=SC2086
    ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=${width}x${height}:rate=25" -frames:v "$frames" \
      -pix_fmt yuv420p $args "$file.tmp" && mv "$file.tmp" "$file"
  fi
  mkdir -p "$work/lists"
  rm -f "$work"/lists/*
  printf '%s %s\n%s\n%s\nLIST_FILE_END\n' "$file" "$work/out" "$width" "$height" >"$work/lists/${list}_list.txt"
  best_omx=0 best_ff=0
  for _ in $(seq "$runs"); do
    OMX_TEST_LIST_DIR="$work/lists" OMX_TEST_RESULTS="$work/results.json" LD_LIBRARY_PATH="$root/$build/lib" \
      LD_PRELOAD="$preload" "$build/bin/omx_test" >"$work/report" 2>/dev/null
    fps=$(python3 -c 'import json,sys; p=json.load(open(sys.argv[1]))["passes"]; print(p[-1]["fps"] if p else 0)' \
      "$work/results.json")
    best_omx=$(python3 -c "print(max($best_omx, $fps))")
    # wall seconds of one single-thread decode, as omx_test's rate is wall-clock too
    cpu=$(ffmpeg -nostdin -benchmark -threads 1 -i "$file" -f null - 2>&1 | sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p')
    ff=$(python3 -c "print($frames / max($cpu, 0.001))")
    best_ff=$(python3 -c "print(max($best_ff, $ff))")
  done
  python3 -c "print('%-20s %8d %10.1f %10.1f %6.0f%%' % ('$name', $frames, $best_omx, $best_ff, 100 * $best_omx / $best_ff))"
done
