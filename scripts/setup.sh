#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build, the tests and the main job need.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  googletest libgtest-dev libgmock-dev
  libx11-dev libegl-dev libgles-dev libegl-mesa0 libgl1-mesa-dri
  xvfb xauth x11-apps x11-utils imagemagick
  ffmpeg libavcodec-dev libavutil-dev libswscale-dev
  libomxil-bellagio-dev
  gstreamer1.0-omx-generic gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-bad
  python3 time file
  chromium python3-junitparser
  libomxil-bellagio0 libomxil-bellagio-bin libomxil-bellagio0-components-base
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
echo "setup: installing ${missing[*]}" >&2
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
