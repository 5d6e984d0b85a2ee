#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the real-window test need.
# Idempotent: packages already present are left alone, and apt is not touched when nothing is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libpng-dev libjpeg62-turbo-dev
  libogg-dev libvorbis-dev libtheora-dev libmpg123-dev
  libsdl2-dev libx11-dev libsamplerate0-dev libsoxr-dev libpixman-1-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  libfluidsynth-dev timgm6mb-soundfont sox lame vorbis-tools
  python3-pil python3-numpy
  libfreetype-dev libfontconfig-dev fonts-ipafont-gothic fonts-ipafont-mincho
  xvfb xauth x11-utils x11-apps xdotool
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
