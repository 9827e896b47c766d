#!/usr/bin/env bash
# The main job: from a fresh Debian machine to a full omx_test report against the reference core.
#   - installs the packages (scripts/setup.sh) and builds omx_test and the reference core into
#     build/ (CMake + Ninja);
#   - makes the sample streams (scripts/make_samples.sh) and writes one list file per decoder into
#     a temporary folder, which omx_test reads through OMX_TEST_LIST_DIR;
#   - starts a virtual display when none is set or answers (scripts/xvfb.sh);
#   - runs build/bin/omx_test with build/lib/libZYN_OMX_Core.so and saves a screenshot of the last
#     picture shown;
#   - writes the run's results (build/results: results.json, results.xml, the passes' last
#     pictures) and the page made from them, build/results/report.html.
# Standard output is omx_test's own report, nothing else; this script's messages go to standard
# error: the screenshot (default build/last_picture.png, or $OMX_SCREENSHOT), then the page.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

say() { echo "main_job: $*" >&2; }

scripts/setup.sh >&2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
# Only what the job runs: the program and the reference core.
cmake --build build -j2 --target omx_test zyn_omx_core >&2

work=$(mktemp -d "${TMPDIR:-/tmp}/omx_main_job.XXXXXX")
media="$work/media"
lists="$work/lists"
outputs="$work/out"
mkdir -p "$media" "$lists" "$outputs"
cleanup() { [ -n "${OMX_KEEP_WORK:-}" ] || rm -rf "$work"; }
trap cleanup EXIT

say "making sample streams in $media"
scripts/make_samples.sh "$media" >&2

shared_media=$(cd "$root/../shared/media" 2>/dev/null && pwd || echo "$root/../shared/media")

# Picture size of a stream as "W H": from a WxH in its name, else from ffprobe.
stream_size() {
  local f=$1 base fmt=()
  base=$(basename "$f")
  if [[ $base =~ ([0-9]+)x([0-9]+) ]]; then
    echo "${BASH_REMATCH[1]} ${BASH_REMATCH[2]}"
    return
  fi
  case "${f##*.}" in
    264|26l|h264) fmt=(-f h264) ;;
    m4v) fmt=(-f m4v) ;;
    263) fmt=(-f h263) ;;
    rcv) fmt=(-f vc1test) ;;
  esac
  ffprobe -v error "${fmt[@]}" -i "$f" -select_streams v:0 -show_entries stream=width,height \
    -of csv=p=0:s=x 2>/dev/null | head -n1 | tr x ' '
}

# write_list FILE STREAM...: one entry per stream whose size is known, then the end marker.
write_list() {
  local list=$1 f size
  shift
  : >"$list"
  for f in "$@"; do
    [ -f "$f" ] || continue
    size=$(stream_size "$f")
    if [ -z "$size" ]; then
      say "skipping $f: picture size unknown"
      continue
    fi
    read -r w h <<<"$size"
    printf '%s %s\n%s\n%s\n' "$f" "$outputs/$(basename "${f%.*}")" "$w" "$h" >>"$list"
  done
  echo LIST_FILE_END >>"$list"
}

shopt -s nullglob
write_list "$lists/avcdec_list.txt" "$media"/*.264 "$media"/*.26l
write_list "$lists/mpeg4dec_list.txt" "$media"/*.m4v
write_list "$lists/h263dec_list.txt" "$media"/*.263
write_list "$lists/vp8dec_list.txt" "$shared_media"/vp8/*.ivf "$media"/*.ivf
write_list "$lists/wmvdec_list.txt" "$shared_media/vc1/SMM0005.rcv"
shopt -u nullglob
export OMX_TEST_LIST_DIR="$lists"

# Starts Xvfb only when DISPLAY is unset or does not answer.
# shellcheck source=xvfb.sh
source scripts/xvfb.sh
# xvfb.sh replaces the exit trap with one that stops its server; keep that and clean up too.
prev_trap=$(trap -p EXIT | sed -e "s/^trap -- '//" -e "s/' EXIT\$//")
[ "$prev_trap" = cleanup ] || trap "${prev_trap:+$prev_trap; }cleanup" EXIT

shot="${OMX_SCREENSHOT:-$root/build/last_picture.png}"
mkdir -p "$(dirname "$shot")"
rm -f "$shot"
results="$root/build/results"
rm -rf "$results"
mkdir -p "$results/snapshots"
shim="$work/screenshot_at_exit.so"
cc -shared -fPIC -O2 -o "$shim" scripts/screenshot_at_exit.c

# The screenshot is taken as omx_test exits, while its last window still shows the last picture.
status=0
OMX_SCREENSHOT_CMD="xwd -silent -root -display '$DISPLAY' | convert xwd:- png:'$shot'" \
  OMX_TEST_RESULTS="$results/results.json" OMX_TEST_JUNIT="$results/results.xml" \
  OMX_TEST_SNAPSHOTS="$results/snapshots" LD_PRELOAD="$shim" LD_LIBRARY_PATH="$root/build/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
  build/bin/omx_test || status=$?

if [ -s "$shot" ]; then
  say "screenshot of the last picture: $shot"
else
  say "no screenshot could be taken (display ${DISPLAY:-none})"
fi
if python3 scripts/html_report.py "$results/results.json" "$results/results.xml" "$results/report.html" >&2; then
  say "results page: $results/report.html"
else
  say "no results page could be made"
fi
exit "$status"
