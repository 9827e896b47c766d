#!/usr/bin/env bash
# bench_parser.sh [WORKDIR]: times the parser (frame table build + read-back of
# every frame, through build/bin/frame_table) against ffmpeg's demuxer
# (-c copy -f null) on the same large files, and reports peak memory.
# Streams of at least 150 MB are made once with ffmpeg and kept in WORKDIR
# (default build/bench). A bench, not a test: it prints, it does not judge.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build/bench}
table=$root/build/bin/frame_table
mkdir -p "$work"
if [ ! -x "$table" ]; then
  cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build" -j2 --target frame_table >/dev/null
fi

# 1280x720 test pattern with temporal noise, so frames stay large at any rate.
src=(-f lavfi -i "testsrc2=size=1280x720:rate=25,noise=alls=30:allf=t")
make() {  # make FILE SECONDS ffmpeg-output-arguments...
  local file=$work/$1 secs=$2; shift 2
  if [ ! -s "$file" ]; then
    echo "making $file ..." >&2
    ffmpeg -nostdin -hide_banner -loglevel error -y "${src[@]}" -t "$secs" "$@" "$file.tmp" && mv "$file.tmp" "$file"
  fi
}
make h264_baseline.264 12 -c:v libx264 -preset ultrafast -profile:v baseline -qp 8 -g 25 -f h264
make mpeg2.m2v 14 -c:v mpeg2video -q:v 2 -g 12 -f mpeg2video
make mpeg4.m4v 14 -c:v mpeg4 -q:v 2 -g 12 -f m4v
make mpeg4.avi 14 -c:v mpeg4 -q:v 2 -g 12 -f avi

# wall seconds, CPU seconds (user + system) and peak RSS in kB of one command
measure() {
  local log=$work/time.log
  /usr/bin/time -o "$log" -f "%e %U %S %M" "$@" >/dev/null 2>&1 || echo "bench: failed: $*" >&2
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$log" | tail -1
}

# GB/s = file bytes / seconds; CPU GB/s uses user + system time, which a
# machine busy with other work does not inflate.
printf "%-18s %7s | %-26s | %-26s | %7s %7s\n" "" "" "parser (table + read-back)" "ffmpeg -c copy -f null" "ratio" ""
printf "%-18s %7s | %6s %6s %5s %6s | %6s %6s %5s %6s | %7s %7s\n" \
  file MB wall_s GB/s cpu_s GB/s wall_s GB/s cpu_s GB/s cpu peak_MB
for item in h264_baseline.264:h264 mpeg2.m2v:mpegvideo mpeg4.m4v:m4v mpeg4.avi:avi; do
  f=${item%%:*}; fmt=${item##*:}
  path=$work/$f
  bytes=$(stat -c %s "$path")
  cat "$path" >/dev/null  # both runs start from the page cache
  read -r pw pc pk < <(measure "$table" "$path")
  read -r fw fc _ < <(measure ffmpeg -nostdin -hide_banner -loglevel error -f "$fmt" -i "$path" -map 0:v -c copy -f null -)
  awk -v f="$f" -v b="$bytes" -v pw="$pw" -v pc="$pc" -v fw="$fw" -v fc="$fc" -v pk="$pk" 'BEGIN {
    if (pw <= 0) pw = 0.01; if (pc <= 0) pc = 0.01; if (fw <= 0) fw = 0.01; if (fc <= 0) fc = 0.01;
    printf "%-18s %7.1f | %6.2f %6.2f %5.2f %6.2f | %6.2f %6.2f %5.2f %6.2f | %6.1fx %7.1f\n",
      f, b/1e6, pw, b/pw/1e9, pc, b/pc/1e9, fw, b/fw/1e9, fc, b/fc/1e9, fc/pc, pk/1024 }'
done
