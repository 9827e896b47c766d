#!/usr/bin/env bash
# parser_memory.sh [FILE...]: peak memory of frame_table (table build and read-back of every
# frame) on a 3 GB sparse file of RCV frames of 8 bytes, which meets the table's ceiling, and on
# the largest sample stream, or on the FILEs given. A bench, not a test: it prints, it does not
# judge.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
if [ ! -x "$build/bin/frame_table" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target frame_table >/dev/null
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/parser_memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  truncate -s 3G "$work/sparse_3g.rcv"
  "$root/scripts/make_samples.sh" "$build/samples" >/dev/null
  largest=$(ls -S "$build"/samples/* "$root"/../shared/media/*/* 2>/dev/null | head -1)
  files=("$work/sparse_3g.rcv" "$largest")
fi
for f in "${files[@]}"; do
  /usr/bin/time -v "$build/bin/frame_table" "$f" >"$work/out" 2>"$work/time" || true
  peak=$(sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$work/time")
  secs=$(sed -n 's/^\s*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time")
  printf '%s (%s bytes): peak %s KiB, %s, %s\n' "$(basename "$f")" "$(stat -c %s "$f")" "$peak" "$secs" \
    "$(tail -1 "$work/out")"
done
