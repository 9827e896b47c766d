#!/usr/bin/env bash
# Cross-builds the whole project for 32-bit ARM boards (Debian armhf, arm-linux-gnueabihf) into
# build-armhf and runs its tests under qemu-arm user-mode emulation:
#   - every CTest test except those labelled "display" (they need an X server and a GPU's EGL)
#     or "no-emulation" (they start target programs by path, which qemu-user cannot follow);
#   - omx_test itself, UTC 001 against the armhf reference core, with no list files, and its
#     report compared with the native build's when build/bin/omx_test exists.
# Installs what it needs from Debian (multiarch armhf packages); safe to run again.
#
# Environment: OMX_ARMHF_BUILD_DIR (default build-armhf), OMX_ARMHF_SKIP_INSTALL=1 to skip apt,
# OMX_NATIVE_BUILD_DIR (default build) for the report comparison, OMX_ARMHF_BUILD_GTEST=1 to build
# GoogleTest from /usr/src/googletest even when the armhf package is installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

triple=arm-linux-gnueabihf
build=${OMX_ARMHF_BUILD_DIR:-build-armhf}
native=${OMX_NATIVE_BUILD_DIR:-build}
start=$(date +%s)
say() { echo "cross_armhf: $*" >&2; }

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
apt_install() {
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@" >&2
}

# ---- packages ----------------------------------------------------------------------------
host_packages=(g++-${triple} qemu-user cmake ninja-build pkg-config googletest)
target_packages=(libx11-dev:armhf libegl-dev:armhf libgles-dev:armhf)
gtest_packages=(libgtest-dev:armhf libgmock-dev:armhf)
codec_packages=(libavcodec-dev:armhf libavutil-dev:armhf libswscale-dev:armhf)

if [ "${OMX_ARMHF_SKIP_INSTALL:-0}" != 1 ]; then
  updated=0
  update() { [ $updated = 1 ] || { "${sudo_cmd[@]}" apt-get update -qq >&2; updated=1; }; }
  if ! dpkg --print-foreign-architectures | grep -qx armhf; then
    say "adding the armhf architecture"
    "${sudo_cmd[@]}" dpkg --add-architecture armhf
    update
  fi
  # Installs those of the packages not yet installed; an optional set that cannot be
  # installed is reported and left out.
  install_missing() {
    local need=$1 p
    shift
    local missing=()
    for p in "$@"; do installed "$p" || missing+=("$p"); done
    [ ${#missing[@]} -gt 0 ] || return 0
    update
    say "installing ${missing[*]}"
    if [ "$need" = required ]; then
      apt_install "${missing[@]}"
    else
      apt_install "${missing[@]}" || say "could not install ${missing[*]}; going on without them"
    fi
  }
  install_missing required "${host_packages[@]}"
  install_missing required "${target_packages[@]}"
  # Optional: the armhf GoogleTest build (else built from /usr/src/googletest below) and the
  # armhf codec libraries (else the reference core builds its components without decoding).
  install_missing optional "${gtest_packages[@]}"
  install_missing optional "${codec_packages[@]}"
fi

if installed libavcodec-dev:armhf && installed libswscale-dev:armhf; then
  say "armhf libavcodec and libswscale installed: a build that looks for them finds them"
else
  say "no armhf libavcodec: codec components must build without real decoding on this target"
fi

# ---- GoogleTest for armhf when Debian's armhf package is missing -------------------------
toolchain="$root/cmake/toolchain-armhf.cmake"
gtest_args=()
if [ "${OMX_ARMHF_BUILD_GTEST:-0}" = 1 ] || ! installed libgtest-dev:armhf; then
  gtest_src=/usr/src/googletest
  gtest_prefix="$root/$build-gtest/install"
  if [ ! -f "$gtest_prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
    say "building GoogleTest for armhf from $gtest_src"
    cmake -S "$gtest_src" -B "$root/$build-gtest/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$gtest_prefix" -DCMAKE_INSTALL_LIBDIR=lib >&2
    cmake --build "$root/$build-gtest/build" -j2 >&2
    cmake --install "$root/$build-gtest/build" >&2
  fi
  gtest_args=(-DGTest_DIR="$gtest_prefix/lib/cmake/GTest")
fi

# ---- cross build -------------------------------------------------------------------------
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "${gtest_args[@]}" >&2
cmake --build "$build" -j2
built=$(date +%s)
say "cross build done in $((built - start)) s"

# Every target file must really be 32-bit ARM: a host object slipping in would test nothing.
for f in "$build"/bin/* "$build"/lib/*.so; do
  [ -f "$f" ] || continue
  header=$(${triple}-readelf -h "$f" 2>/dev/null || true)
  if ! grep -q 'Class: *ELF32' <<<"$header" || ! grep -q 'Machine: *ARM' <<<"$header"; then
    say "not an armhf binary: $f"
    exit 1
  fi
done

# ---- tests under emulation ---------------------------------------------------------------
# The armhf loader and C library must be one glibc build: multiarch libc6:armhf (under /) when
# present, else the cross prefix. The toolchain file makes the same choice for CTest.
if [ -e /lib/arm-linux-gnueabihf/libc.so.6 ] && [ -e /lib/ld-linux-armhf.so.3 ]; then
  ld_prefix=/
else
  ld_prefix=/usr/$triple
fi
export QEMU_LD_PREFIX=$ld_prefix
# Left out of the emulated run, by label: display (needs an X server and EGL) and no-emulation
# (starts build/bin programs as child processes, which an emulated test cannot do, compares whole
# reports with 5 ms / 20 ms budgets that emulation overruns, or takes minutes under emulation).
# omx_test's own run follows below.
ctest --test-dir "$build" --output-on-failure -j2 --timeout 300 -LE 'display|no-emulation'
tested=$(date +%s)
say "emulated tests done in $((tested - built)) s"

# ---- omx_test: UTC 001 against the armhf reference core ----------------------------------
qemu=(qemu-arm -L "$ld_prefix")
if [ -x "$build/bin/omx_test" ] && [ -f "$build/lib/libZYN_OMX_Core.so" ]; then
  lists=$(mktemp -d)
  trap 'rm -rf "$lists"' EXIT
  report="$build/omx_test_utc001.txt"
  # No list files: the run is UTC 001 alone, the decoding loop finds nothing to do.
  timeout 120 "${qemu[@]}" -E LD_LIBRARY_PATH="$root/$build/lib" -E OMX_TEST_LIST_DIR="$lists" \
    "$build/bin/omx_test" >"$report"
  cat "$report"
  grep -q "^OMX UTC 001-01: OMX_Init test" "$report" || { say "omx_test: no UTC 001 banner"; exit 1; }
  if grep -q "open FAIL" "$report"; then say "omx_test: the core did not load"; exit 1; fi
  # Failure lines from a call's result are real faults; a timeout line only says the call was
  # slower than its budget, which emulation may well be.
  if grep -v "timeout FAIL" "$report" | grep -q "FAIL"; then say "omx_test: UTC 001 failed"; exit 1; fi
  if grep -q "timeout FAIL" "$report"; then say "omx_test: budget overruns under emulation (not a fault)"; fi
  if [ -x "$native/bin/omx_test" ] && [ -f "$native/lib/libZYN_OMX_Core.so" ]; then
    native_report="$build/omx_test_utc001.native.txt"
    LD_LIBRARY_PATH="$root/$native/lib" OMX_TEST_LIST_DIR="$lists" timeout 60 "$native/bin/omx_test" >"$native_report"
    if ! diff <(grep -v "timeout FAIL" "$native_report") <(grep -v "timeout FAIL" "$report") >&2; then
      say "omx_test: the armhf report differs from the x86-64 one"
      exit 1
    fi
    say "omx_test: armhf report equals the x86-64 one"
  fi
else
  say "omx_test or libZYN_OMX_Core.so not built; UTC 001 run skipped"
  [ "${OMX_ARMHF_REQUIRE_PROGRAM:-0}" = 1 ] && exit 1
fi

say "total $(( $(date +%s) - start )) s"
