#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the project twice (plain, and with AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs every test under a virtual display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOMX_SANITIZE=ON
cmake --build build-san

# shellcheck source=xvfb.sh
source scripts/xvfb.sh

ctest --test-dir build --output-on-failure -j2
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-san --output-on-failure -j2 -LE no-sanitize

if [ -x scripts/fuzz.sh ]; then
  scripts/fuzz.sh "${OMX_FUZZ_SECONDS:-15}"
fi
