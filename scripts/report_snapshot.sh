#!/usr/bin/env bash
# report_snapshot.sh BUILD OUTDIR: everything a user sees of a build, in files that can be
# compared between two builds with `diff -r`:
#   frame_table.txt   frame_table on every sample stream and third-party stream, whole and --slices;
#   main_job.txt      the main job's report (scripts/main_job.sh, which builds into build/);
#   omx_test.txt      omx_test's report on fixed lists, encoders' lists included;
#   cases_*.txt       omx_cases against the reference core, clean and with a few fault files
#                     (lines sorted), with each exit status.
# Paths of the temporary folder are written as WORK. Needs a display (sources scripts/xvfb.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -ne 2 ]; then
  echo "usage: report_snapshot.sh BUILD OUTDIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/omx_snapshot.XXXXXX")
trap 'rm -rf "$work"' EXIT
shared=$(cd "$root/../shared/media" && pwd)

"$root/scripts/make_samples.sh" "$work/media" >/dev/null
streams=("$work"/media/* "$shared"/vc1/*.rcv "$shared"/vp8/*.ivf)
for f in "${streams[@]}"; do
  for opt in "" --slices; do
    echo "== $(basename "$f") $opt"
    "$build/bin/frame_table" "$f" $opt 2>&1 || echo "exit $?"
  done
done >"$out/frame_table.txt"

# shellcheck source=xvfb.sh
source "$root/scripts/xvfb.sh"
lists=$work/lists
mkdir -p "$lists" "$work/out"
entry() { printf '%s %s\n%s\n%s\n' "$1" "$work/out/$(basename "${1%.*}")" "$2" "$3"; }
{ entry "$work/media/h264_qcif.264" 176 144; entry "$work/media/h264_720p.264" 1280 720
  echo LIST_FILE_END; } >"$lists/avcdec_list.txt"
{ entry "$work/media/mpeg4_plain.m4v" 176 144; echo LIST_FILE_END; } >"$lists/mpeg4dec_list.txt"
{ entry "$work/media/h263_qcif.263" 176 144; echo LIST_FILE_END; } >"$lists/h263dec_list.txt"
{ entry "$shared/vp8/vp80-00-comprehensive-001.ivf" 176 144; entry "$work/media/vp8.ivf" 176 144
  echo LIST_FILE_END; } >"$lists/vp8dec_list.txt"
{ entry "$shared/vc1/SMM0005.rcv" 176 144; echo LIST_FILE_END; } >"$lists/wmvdec_list.txt"
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=size=176x144:rate=25:duration=0.2 \
  -pix_fmt yuv420p -f rawvideo "$work/media/qcif.yuv"
for enc in avcenc mpeg4enc h263enc; do
  { printf '%s %s\n176\n144\n0\n256000\n25\n' "$work/media/qcif.yuv" "$work/out/$enc.bin"
    echo LIST_FILE_END; } >"$lists/${enc}_list.txt"
done
export OMX_TEST_LIST_DIR=$lists LD_LIBRARY_PATH=$build/lib OMX_TEST_WAIT_MS=500
normal() { sed -E -e "s#$work#WORK#g" -e "/timeout FAIL/ s/[0-9]{4,}\$/T/"; }

"$build/bin/omx_test" 2>/dev/null | normal >"$out/omx_test.txt"
"$root/scripts/main_job.sh" 2>/dev/null | sed -E 's#/tmp/omx_main_job\.[A-Za-z0-9]+#WORK#g' >"$out/main_job.txt"

cases() {  # cases NAME FAULTS [COMPONENT...]
  local name=$1 faults=$2 status=0
  shift 2
  printf '%b' "$faults" >"$work/faults"
  # Lines printed on the component's thread (error events) may come before or after a line of
  # the main thread: compare the lines as a sorted list.
  ZYN_OMX_FAULTS=$work/faults "$build/bin/omx_cases" "$@" 2>/dev/null | normal | LC_ALL=C sort >"$out/cases_$name.txt" || status=$?
  echo "exit $status" >>"$out/cases_$name.txt"
}
cases clean ""
cases idle_error "OMX.ZYN.AVC.Decoder SendCommand:StateSet:Idle event_error 0x80001000\n" OMX.ZYN.AVC.Decoder
cases use_buffer "* UseBuffer:0 error 0x80001000 after 1\n" OMX.ZYN.MPEG4.Decoder OMX.ZYN.H263.Encoder
cases refused "* SendCommand:StateSet:Idle error 0x80001001\n* EmptyThisBuffer delay 30000\n" OMX.ZYN.VP8.Decoder OMX.ZYN.AVC.Encoder
cases getparam "* GetParameter error 0x80001001\n* SetConfig delay 30000\n" OMX.ZYN.WMV.Decoder
echo "snapshot in $out" >&2
