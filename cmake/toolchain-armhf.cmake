# Cross build for 32-bit ARM boards (ARMv7, hard-float ABI) with Debian's cross compiler
# (g++-arm-linux-gnueabihf) and armhf libraries installed through multiarch
# (dpkg --add-architecture armhf; apt-get install libx11-dev:armhf ...).
#
#   cmake -S . -B build-armhf -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake
#
# Test programs run under qemu-arm (CTest and gtest_discover_tests use
# CMAKE_CROSSCOMPILING_EMULATOR), so the same tests run on the build machine.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(OMX_ARMHF_TRIPLE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${OMX_ARMHF_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${OMX_ARMHF_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${OMX_ARMHF_TRIPLE})

# Debian multiarch: armhf libraries live in /usr/lib/arm-linux-gnueabihf and
# /lib/arm-linux-gnueabihf, their arch-specific headers in /usr/include/arm-linux-gnueabihf;
# the cross C library is under /usr/arm-linux-gnueabihf. Searching "/" with
# CMAKE_LIBRARY_ARCHITECTURE set finds the armhf copies before anything of the host.
set(CMAKE_FIND_ROOT_PATH /usr/${OMX_ARMHF_TRIPLE} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Never pick a host (x86-64) library out of the plain lib folders.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu /usr/lib64 /lib64)

# pkg-config must answer for armhf, not for the host.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${OMX_ARMHF_TRIPLE}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Run target programs (tests, test discovery) under user-mode emulation. The dynamic loader
# and the C library must come from the same glibc build: once any armhf library package is
# installed, Debian's multiarch libc6:armhf provides both under / (the cross prefix's copy is
# often an older release, and its loader with the newer libc crashes in pthread_create).
# Without multiarch libc6:armhf, the cross prefix holds the only armhf loader.
find_program(OMX_QEMU_ARM NAMES qemu-arm qemu-arm-static)
if(EXISTS /lib/arm-linux-gnueabihf/libc.so.6 AND EXISTS /lib/ld-linux-armhf.so.3)
  set(OMX_ARMHF_LD_PREFIX /)
else()
  set(OMX_ARMHF_LD_PREFIX /usr/${OMX_ARMHF_TRIPLE})
endif()
if(OMX_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${OMX_QEMU_ARM} -L ${OMX_ARMHF_LD_PREFIX})
endif()
