#!/usr/bin/env bash
# Sets up the machine (Debian packages), builds, and starts the game Kelvaron from its folder (so that
# ./Data and ./Material resolve). Without the game it starts the library's smoke program instead.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
if [ -x build/game/kelvaron ]; then
  cd game && exec ../build/game/kelvaron "$@"
fi
exec build/tools/smoke/orbel_smoke "$@"
