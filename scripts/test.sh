#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the project twice (plain, and with AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs every test under a virtual display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

# One style for every C and C++ file (.clang-format at the root).
scripts/format.sh --check
# Tests and fuzz targets at most 40% of the product's lines.
scripts/test_size.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOMX_SANITIZE=ON
cmake --build build-san

# shellcheck source=xvfb.sh
source scripts/xvfb.sh

ctest --test-dir build --output-on-failure -j2
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-san --output-on-failure -j2 -LE no-sanitize

# The fuzz target for a short smoke run (clang, ASan, UBSan); its first byte picks the entry point.
scripts/fuzz.sh "${OMX_FUZZ_SECONDS:-60}"

# The 32-bit ARM target: cross build, then the tests and omx_test's UTC 001 under qemu-arm.
# After the native build, so the UTC 001 reports of the two builds can be compared.
if [ "${OMX_SKIP_ARMHF:-0}" != 1 ]; then
  scripts/cross_armhf.sh
fi
