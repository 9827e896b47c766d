#!/usr/bin/env bash
# soak.sh N [BUILD]: runs N QCIF entries through BUILD/bin/omx_test (default build/) against the
# reference core, the AVC decoder alone, on the display (scripts/xvfb.sh), and prints the resident
# memory of omx_test as each entry starts, then the first and last of those figures, the growth
# per entry from entry 2 on (the first pass also makes what every pass shares), the peak (VmHWM)
# and how many "cannot open display" lines came.
# Sampled from /proc every 20 ms: a figure is taken when the entry's "output:" line appears.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ] || [ $# -gt 2 ] || ! [ "$1" -ge 1 ] 2>/dev/null; then
  echo "usage: soak.sh N [BUILD]" >&2
  exit 2
fi
entries_asked=$1
build=$(cd "${2:-$root/build}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/omx_soak.XXXXXX")
pid=

"$root/scripts/make_samples.sh" "$build/samples" >/dev/null
# shellcheck source=xvfb.sh
source "$root/scripts/xvfb.sh"
# After xvfb.sh, whose own exit trap (ending an Xvfb it started) this one takes over.
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; [ -n "${OMX_XVFB_PID:-}" ] && kill "$OMX_XVFB_PID" 2>/dev/null
  rm -rf "$work"' EXIT
for ((i = 0; i < entries_asked; i++)); do
  printf '%s %s\n176\n144\n' "$build/samples/h264_qcif.264" "$work/out"
done >"$work/avcdec_list.txt"
echo LIST_FILE_END >>"$work/avcdec_list.txt"
echo "core names OMX.ZYN.AVC.Decoder" >"$work/faults"

OMX_TEST_LIST_DIR=$work ZYN_OMX_FAULTS=$work/faults LD_LIBRARY_PATH=$build/lib \
  "$build/bin/omx_test" >"$work/report" 2>/dev/null &
pid=$!
status_kb() { awk -v k="$1:" '$1 == k { print $2 }' "/proc/$pid/status" 2>/dev/null || true; }
seen=0 first='' second='' last='' peak=0
while kill -0 "$pid" 2>/dev/null; do
  hwm=$(status_kb VmHWM)
  [ -n "$hwm" ] && peak=$hwm
  entries=$(grep -c '^output: ' "$work/report" || true)
  if [ "$entries" -gt "$seen" ]; then
    rss=$(status_kb VmRSS)
    [ -n "$rss" ] || break
    seen=$entries
    echo "entry $seen rss ${rss} kB"
    first=${first:-$rss}
    [ "$seen" -eq 2 ] && second=$rss
    last=$rss
  fi
  sleep 0.02
done
wait "$pid" || true
pid=
echo "first ${first:-?} kB last ${last:-?} kB"
if [ "$seen" -gt 2 ]; then
  echo "growth per entry from entry 2 $(((last - second) / (seen - 2))) kB"
fi
echo "peak ${peak} kB entries $seen of $entries_asked"
echo "cannot open display $(grep -c 'cannot open display' "$work/report" || true)"
