#!/usr/bin/env bash
# make_samples.sh OUTDIR: small real streams for the parser tests, made with
# Debian's ffmpeg. Deterministic (single-threaded encoders, fixed test
# sources, no metadata) and idempotent: files that exist are kept.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: make_samples.sh OUTDIR" >&2
  exit 2
fi
out=$1
mkdir -p "$out"

ff() {  # ff OUTPUT ffmpeg-arguments...: runs ffmpeg unless OUTPUT exists
  local target=$1; shift
  [ -s "$out/$target" ] && return 0
  ffmpeg -nostdin -hide_banner -loglevel error -y "$@" -threads 1 -fflags +bitexact \
    -map_metadata -1 "$out/$target.tmp.${target##*.}"
  mv "$out/$target.tmp.${target##*.}" "$out/$target"
}

src_qcif=(-f lavfi -i "testsrc2=size=176x144:rate=25:duration=1")
src_720=(-f lavfi -i "testsrc2=size=1280x720:rate=25:duration=0.4")
x264_common=(-c:v libx264 -pix_fmt yuv420p -x264-params "threads=1:sliced-threads=0")

# H.264 Baseline, four slices per picture, without and with access unit delimiters.
ff h264_baseline_slices.264 "${src_qcif[@]}" "${x264_common[@]}" -profile:v baseline \
  -x264opts "slices=4" -g 10 -bsf:v filter_units=remove_types=6 -f h264
ff h264_baseline_aud.264 "${src_qcif[@]}" "${x264_common[@]}" -profile:v baseline \
  -x264opts "slices=4:aud=1" -g 10 -bsf:v filter_units=remove_types=6 -f h264
# H.264 Main and High with B-frames.
ff h264_main_bframes.264 "${src_qcif[@]}" "${x264_common[@]}" -profile:v main -bf 2 -g 12 -f h264
ff h264_high_bframes.264 "${src_qcif[@]}" "${x264_common[@]}" -profile:v high -bf 3 -g 12 -f h264
# 1280x720 and 176x144 Baseline for the decoding tests.
ff h264_720p.264 "${src_720[@]}" "${x264_common[@]}" -profile:v baseline -g 5 -f h264
ff h264_qcif.264 "${src_qcif[@]}" "${x264_common[@]}" -profile:v baseline -g 10 -f h264
# MPEG-2 with sequence and GOP headers before every GOP.
ff mpeg2_gop.m2v "${src_qcif[@]}" -c:v mpeg2video -g 6 -bf 2 -f mpeg2video
# MPEG-4 Visual without and with resync markers (video packets).
ff mpeg4_plain.m4v "${src_qcif[@]}" -c:v mpeg4 -g 8 -bf 1 -f m4v
ff mpeg4_resync.m4v "${src_qcif[@]}" -c:v mpeg4 -g 8 -ps 200 -f m4v
# H.263 QCIF.
ff h263_qcif.263 "${src_qcif[@]}" -c:v h263 -g 8 -f h263
# VP8 in IVF.
ff vp8.ivf "${src_qcif[@]}" -c:v libvpx -b:v 200k -g 8 -f ivf
# AVI: MPEG-4 video interleaved with PCM audio.
ff mpeg4_audio.avi "${src_qcif[@]}" -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=1" \
  -map 0:v -map 1:a -c:v mpeg4 -vtag XVID -g 8 -c:a pcm_s16le -f avi
